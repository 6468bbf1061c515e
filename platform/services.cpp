#include "platform/platform.h"

namespace platform {

Services& Current() {
  static Services services;
  return services;
}

}  // namespace platform
