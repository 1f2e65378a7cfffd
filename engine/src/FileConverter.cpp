// One entry of a run from start to end: the checks in the order their
// failures are reported, the input and the output opened, the pump between
// them, and the output committed or abandoned.
#include "engine/FileConverter.h"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "FileSystem.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "Pump.h"
#include "engine/Errors.h"

namespace corvane {

namespace {

using detail::FileInfo;
using detail::InputFile;

using detail::kStandardOutputName;
constexpr int kStandardOutput = 1;

class NoEvents final : public ConversionEvents {};

void ConvertStandardStreams(detail::Pump& pump, const ConversionRun& run, std::size_t index,
                            ConversionEvents& events) {
  InputFile input = InputFile::Standard();
  detail::SetBinaryMode(kStandardOutput);
  FileInfo output;
  if (input.IsRegular() && detail::StatusOfDescriptor(kStandardOutput, output) &&
      output.kind == FileInfo::Kind::kRegular && output.identity == input.Info().identity) {
    throw ConversionError(ErrorNumber::kOutputIsInput,
                          "Cannot convert " + Quoted(detail::kStandardInputName) + " to " +
                              Quoted(kStandardOutputName) + ": they are the same file");
  }
  run.RefuseReplacingAnInput(index, std::nullopt);
  events.Started();
  pump.Run(input, kStandardOutput, kStandardOutputName, events);
}

void ConvertToFile(detail::Pump& pump, InputFile& input, const std::string& outputPath,
                   ConversionEvents& events) {
  // Never more open than the input, whatever its kind (a 0600 pipe gives a
  // 0600 output); one whose status could not be had is taken as its owner's
  // alone.
  FileInfo unknown;
  unknown.permissions = 0600;
  detail::OutputFile output(outputPath, input.IsKnown() ? input.Info() : unknown);
  if (output.InPlace()) events.WritingInPlace();
  try {
    pump.Run(input, output.Descriptor(), outputPath, events);
    output.Commit();
  } catch (const ConversionError& failure) {
    throw output.Abandoned(failure);
  }
}

}  // namespace

FileConverter::FileConverter(bool overlapped) : overlapped_(overlapped) {}
FileConverter::~FileConverter() = default;

void FileConverter::Prepare() {
  if (!pump_) pump_ = std::make_unique<detail::Pump>(overlapped_);
  pump_->Prepare();
}

void FileConverter::Convert(const ConversionRun& run, std::size_t index) {
  NoEvents none;
  Convert(run, index, none);
}

void FileConverter::Convert(const ConversionRun& run, std::size_t index, ConversionEvents& events) {
  const std::string& inputPath = run.Input(index);
  try {
    if (!pump_) pump_ = std::make_unique<detail::Pump>(overlapped_);
    const std::optional<ConversionError>& refusal = run.Refusal(index);
    if (run.IsStandardStreams(index)) {
      if (refusal) throw *refusal;
      ConvertStandardStreams(*pump_, run, index, events);
      return;
    }
    // A path without output name is refused first: it names no file either.
    if (refusal && refusal->Number() == ErrorNumber::kInvalidPath) throw *refusal;
    // Opened before anything else, so that a missing input is what gets reported.
    InputFile input = InputFile::Open(inputPath);
    if (refusal) throw *refusal;
    run.RefuseReplacingAnEarlierOutput(index);
    run.RefuseReplacingAnInput(
        index, input.IsRegular() ? std::optional(input.Info().identity) : std::nullopt);
    events.Started();
    ConvertToFile(*pump_, input, run.Output(index), events);
  } catch (const std::bad_alloc&) {
    throw FailureOf(std::current_exception(), inputPath);
  } catch (const std::system_error&) {
    throw FailureOf(std::current_exception(), inputPath);
  }
}

}  // namespace corvane
