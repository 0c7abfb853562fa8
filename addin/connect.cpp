#include "addin/connect.h"

namespace corvanta {

Connect::Connect(host::Platform& platformServices) : platform(platformServices) {}

Connect::~Connect() = default;

}  // namespace corvanta
