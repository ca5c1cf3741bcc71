// The floor under any tree eraser on this machine: a bare walk that lists each directory once and
// erases its entries, with none of vakrun's checks or lines. It takes vakrun's arguments
// ("-D PATH"), so tree_bench (built by bench/run.sh) can time it as the baseline:
//
//   c++ -std=c++20 -O2 -o erase_floor bench/erase_floor.cpp -luring   # liburing-dev
//   ERASE_FLOOR=batch:64 tree_bench --vakrun vakrun --baseline ./erase_floor --trees wide
//
// ERASE_FLOOR chooses how a directory's files go:
//   plain      one unlinkat each (what vakrun and rm do)
//   batch:N    N unlinkat at a time through io_uring, results taken when all N are done
//   linked:N   the same, each linked to the one before, so a failure cancels the rest: what
//              handing a failed entry to the engine before any later entry is erased would need
//   split      plain, with the target's subdirectories shared out between two processes
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Way { Plain, Batch, Linked, Split };
Way way = Way::Plain;
unsigned batch_size = 64;
io_uring ring;
bool failed = false;

void Fail(const char* what, std::string_view name, int error) {
  std::fprintf(stderr, "erase_floor: %s %.*s: %s\n", what, static_cast<int>(name.size()),
               name.data(), std::strerror(error));
  failed = true;
}

void EraseInRing(int dir_fd, const std::vector<std::string>& files) {
  for (std::size_t first = 0; first < files.size(); first += batch_size) {
    std::size_t count = std::min<std::size_t>(batch_size, files.size() - first);
    for (std::size_t k = 0; k < count; ++k) {
      io_uring_sqe* sqe = io_uring_get_sqe(&ring);
      io_uring_prep_unlinkat(sqe, dir_fd, files[first + k].c_str(), 0);
      sqe->user_data = first + k;
      if (way == Way::Linked && k + 1 < count)
        sqe->flags |= IOSQE_IO_LINK;
    }
    int submitted = io_uring_submit_and_wait(&ring, count);
    if (submitted < 0) {
      Fail("io_uring_submit", files[first], -submitted);
      return;
    }
    unsigned head, seen = 0;
    io_uring_cqe* cqe;
    io_uring_for_each_cqe(&ring, head, cqe) {
      if (cqe->res < 0)
        Fail("unlinkat", files[cqe->user_data], -cqe->res);
      ++seen;
    }
    io_uring_cq_advance(&ring, seen);
  }
}

void EraseContents(int dir_fd, bool share_out);

void EraseSubdir(int dir_fd, const std::string& name) {
  int sub = openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (sub < 0) {
    Fail("openat", name, errno);
    return;
  }
  EraseContents(sub, false);
  if (unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) != 0)
    Fail("rmdir", name, errno);
}

// Erases what the directory holds, and closes it.
void EraseContents(int dir_fd, bool share_out) {
  DIR* dir = fdopendir(dir_fd);
  if (dir == nullptr) {
    Fail("fdopendir", "", errno);
    close(dir_fd);
    return;
  }
  std::vector<std::string> files, subdirs;
  while (dirent* item = readdir(dir)) {
    std::string_view name = item->d_name;
    if (name == "." || name == "..")
      continue;
    bool is_dir = item->d_type == DT_DIR;
    struct stat status;
    if (item->d_type == DT_UNKNOWN) // a file system that does not say: looked at
      is_dir = fstatat(dir_fd, item->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISDIR(status.st_mode);
    (is_dir ? subdirs : files).emplace_back(name);
  }
  if (way == Way::Batch || way == Way::Linked) {
    EraseInRing(dir_fd, files);
  } else {
    for (const std::string& name : files)
      if (unlinkat(dir_fd, name.c_str(), 0) != 0)
        Fail("unlinkat", name, errno);
  }
  if (!share_out) {
    for (const std::string& name : subdirs)
      EraseSubdir(dir_fd, name);
  } else {
    pid_t child = fork(); // when it fails, this process erases them all
    for (std::size_t k = 0; k < subdirs.size(); ++k)
      if (child < 0 || (k % 2 == 0) == (child == 0))
        EraseSubdir(dir_fd, subdirs[k]);
    if (child == 0)
      _exit(failed ? 1 : 0);
    int status = 0;
    if (child > 0 && (waitpid(child, &status, 0) != child || status != 0))
      failed = true;
  }
  closedir(dir);
}

bool ChooseWay(const char* text) {
  std::string_view choice = text != nullptr ? text : "plain";
  if (choice == "plain" || choice == "split") {
    way = choice == "plain" ? Way::Plain : Way::Split;
    return true;
  }
  std::size_t colon = choice.find(':');
  if (colon == std::string_view::npos)
    return false;
  std::string_view kind = choice.substr(0, colon);
  if (kind != "batch" && kind != "linked")
    return false;
  way = kind == "batch" ? Way::Batch : Way::Linked;
  batch_size = std::atoi(std::string(choice.substr(colon + 1)).c_str());
  return batch_size >= 1 && batch_size <= 4096;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !ChooseWay(std::getenv("ERASE_FLOOR"))) {
    std::fprintf(stderr, "usage: ERASE_FLOOR=plain|batch:N|linked:N|split erase_floor [-D] PATH\n");
    return 2;
  }
  std::string target = argv[argc - 1];
  if (way == Way::Batch || way == Way::Linked) {
    io_uring_params params{};
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
    int error = io_uring_queue_init_params(batch_size, &ring, &params);
    if (error != 0) {
      Fail("io_uring_setup", "", -error);
      return 1;
    }
  }
  int fd = open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    Fail("open", target, errno);
    return 1;
  }
  EraseContents(fd, way == Way::Split);
  if (rmdir(target.c_str()) != 0)
    Fail("rmdir", target, errno);
  return failed ? 1 : 0;
}
