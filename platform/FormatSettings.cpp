#include "platform/FormatSettings.h"

namespace platform {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

}  // namespace platform
