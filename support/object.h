// The root of the objects that the containers hold and stream: a virtual
// destructor, so that an owning container can destroy any item, and the class
// name under which the class registry knows it.
#pragma once

#include <string>

namespace support {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

}  // namespace support
