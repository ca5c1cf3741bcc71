# How the program's own code is compiled: hardened by default, or under the sanitizers. The
# flags come with two interface targets that the program's code links (see the top level).
#
#   VAKRUN_SANITIZE=ON   vakrun_sanitizers: AddressSanitizer (with leak checking) and
#                        UndefinedBehaviorSanitizer in the program's code and in every program
#                        that links it, the unit, engine and fault tests too, and in the
#                        end-to-end harness and its programs (whose children, forked while a
#                        thread may run, make only async-signal-safe calls before they start
#                        the program). No hardening flags then, since the fortified string calls
#                        hide accesses from AddressSanitizer.
#   otherwise (Linux)    vakrun_hardening: the flags Debian builds its packages with: stack
#                        protector, fortified calls where the optimiser sees sizes, stack clash
#                        probes, PIE, and full RELRO with immediate binding, so that the relocated
#                        data is read-only before main() runs. Only the program's code; the test
#                        programs are not shipped. Checked by tests/packaging/check_hardening.sh.
include(CheckCXXCompilerFlag)
option(VAKRUN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
add_library(vakrun_hardening INTERFACE)
add_library(vakrun_sanitizers INTERFACE)

if(VAKRUN_SANITIZE)
  # Every report ends the program with a failure; nothing is only printed and then run past.
  target_compile_options(vakrun_sanitizers INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vakrun_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(NOT WIN32)
  # PIE: -fPIE for every object (the core library's too, which CMake's own switch would compile
  # with -fPIC, whose calls between the library's functions cannot be inlined), -pie to link.
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  if(CMAKE_CXX_LINK_PIE_SUPPORTED)
    target_compile_options(vakrun_hardening INTERFACE -fPIE)
    target_link_options(vakrun_hardening INTERFACE -pie)
  endif()
  target_compile_options(vakrun_hardening INTERFACE -fstack-protector-strong)
  # Fortified calls need the optimiser's knowledge of sizes: not in a Debug build.
  target_compile_options(vakrun_hardening INTERFACE
                         "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=3>")
  # Probes of large stack frames, so that the stack cannot be jumped over into another mapping.
  check_cxx_compiler_flag(-fstack-clash-protection vakrun_has_stack_clash_protection)
  if(vakrun_has_stack_clash_protection)
    target_compile_options(vakrun_hardening INTERFACE -fstack-clash-protection)
  endif()
  target_link_options(vakrun_hardening INTERFACE LINKER:-z,relro,-z,now)
endif()
