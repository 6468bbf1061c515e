// Exceptions of the archive engine; each carries its message.
#pragma once

#include "support/exceptions.h"

namespace archive {

class EBadZipFile : public support::Exception {
  using Exception::Exception;
};
class EIncompleteZip : public support::Exception {
  using Exception::Exception;
};
class EUserCanceled : public support::Exception {
  using Exception::Exception;
};
class EFatalUnzipError : public support::Exception {
  using Exception::Exception;
};
class EBiggerThanUncompressed : public support::Exception {
  using Exception::Exception;
};

}  // namespace archive
