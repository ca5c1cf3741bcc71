#include "app/program_flow.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  StartConsole(argc, argv);
  ProgramFlow();
}
