// The change of directory, the same on every system; the steps are the system body's.
#include "platform/dos/result_codes.h"
#include "platform/fs.h"
#include "platform/fs/fs_body.h"

void ChangeDirectory(std::string_view path) {
  if (path.empty() || PendingIoResult != 0)
    return;
  std::string system = PrepareChange(path);
  if (system == "..")
    StepUp();
  else if (IsBareName(system))
    StepDown(system);
  else if (system.size() == 2 && system[1] == ':')
    ChangeDrive(system[0]);
  else
    ChangeToPath(system);
}
