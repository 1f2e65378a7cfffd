// An output being written, and how it takes its name: a hidden temporary file
// beside the output name, renamed over it only when complete and removed
// otherwise; or, where the folder takes no new file but the older output is
// writable, that older file itself, written in place.
//
// The output name itself is never opened for writing but in place, so that
// whatever stops a conversion (a failure, a kill, a power cut) leaves there
// either the older file or the whole new one. No fsync: the output is derived
// data that can be made again from its input, which is never touched, and
// syncing would cost a multiple of the conversion time. The rename gives every
// reader either the old output or the whole new one; after a power cut a new
// output may be empty or missing (ext4 by default writes a file's data out
// before committing a rename over an older file).
#pragma once

#include <string>

#include "FileSystem.h"
#include "engine/Errors.h"
#include "platform/Descriptor.h"

namespace corvane::detail {

class OutputFile {
 public:
  // Opens where the output at path is written, from the input described.
  // A new file gets the input's read and write permissions less the umask;
  // an older file of that name is replaced with its own permissions, owner
  // and group, as far as the user may set them and as far as they open the
  // output to no one who may not read the input (AdoptOwnership). A folder
  // of that name, a name too long for its folder, and another user's older
  // file where it would have to be written in place but may not
  // (MayWriteInPlace), are refused. Fails with kCreateOutput.
  OutputFile(const std::string& path, const FileInfo& input);
  // Abandons an output that was not committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The older output is written in place: a failure leaves it incomplete.
  bool InPlace() const { return inPlace_; }
  int Descriptor() const { return file_.Get(); }

  // Closes the complete output and gives it its name. Fails with
  // kFinishOutput.
  void Commit();
  // Abandons the output after a failure, and returns that failure saying
  // what it left: an output written in place is incomplete; a temporary
  // file that could not be removed is named.
  ConversionError Abandoned(const ConversionError& failure);

 private:
  static constexpr int kGone = -2;

  int CreateTemporary(unsigned permissions);
  void Create(const std::string& folder, const std::string& name, unsigned permissions);
  int Abandon();
  void Forget();

  std::string path_;             // the output name
  std::string temporary_;        // the hidden temporary file's path, where there is one
  std::string temporaryName_;    // its name in its folder
  platform::Descriptor folder_;  // the folder, held while the temporary file is written
  platform::Descriptor file_;
  int place_ = -1;  // in the table of unfinished outputs; kGone once renamed or removed
  bool inPlace_ = false;
  bool committed_ = false;
};

}  // namespace corvane::detail
