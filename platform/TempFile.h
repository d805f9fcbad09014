#pragma once
// Temporary files: "QXL"-prefixed files in the system's temporary folder,
// removed when the object that owns them is destroyed.
#include <string>

#include "platform/File.h"

namespace platform {

// $TMPDIR when set and not empty, else "/tmp"; without a trailing slash.
std::string TempDirectory();

// A new, empty temporary file, open read-write and not shared. The file is
// removed when the object is destroyed.
class TempFile {
public:
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  File& Handle() { return FFile; }

private:
  std::string FFileName;
  File FFile;
};

// Reserves a new unique name in the temporary folder by creating an empty file
// there ("QXL" followed by six characters); the caller deletes it.
std::string TempFileName();

}  // namespace platform
