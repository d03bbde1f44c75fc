#include "res/Strings.h"

namespace res {

const char* LoadResourceString(int id) {
  switch (id) {
    case IDS_ABOUTBOX:
      return "&About Kivo FS Utils...";
    default:
      return "";
  }
}

}  // namespace res
