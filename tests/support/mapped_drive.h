// A second drive letter for tests, mapped onto a new scratch folder for the object's lifetime. Wine keeps its drive
// letters as links in the prefix's "dosdevices" folder; the link is made and removed with the Unix ln and rm,
// which Wine starts like any program.
#pragma once

#include <string>

class MappedDrive {
 public:
  MappedDrive();
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  // False when no letter could be mapped (no Wine prefix in the environment, a prefix path with blanks, or every
  // letter taken).
  bool valid() const { return !root_.empty(); }
  // "M:\" and the like.
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  std::string link_;        // Unix path of the link in dosdevices
  std::string unixFolder_;  // Unix path of the folder behind the letter
  std::string marker_;      // name of a file in that folder
};
