#include "res/version.h"

#include "pyrrow_version.h"

namespace pyrrow::res {

const char kVersion[] = PYRROW_VERSION;

}  // namespace pyrrow::res
