// Only code for Windows: whether the climb of ParentDelete may step up. Until the directories
// above the target are held by handle here, no step up is safe, so the climb ends at once.
#include "platform/fs.h"

bool ParentIsHeld() {
  return false;
}
