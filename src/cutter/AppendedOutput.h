#pragma once
// A join's output made in its first input's own file: that input's packets stay where they lie,
// the rest of the output is written after them, the header is rewritten last, and the file is
// renamed to the output. Nothing of the first input is copied, so a join costs what it adds.
//
//   AppendedOutput out(firstInput, otherInputs, target, replaceExisting);  // throws NotAppendable
//   Remux(sources, out, options);      // NotAppendable while nothing was changed yet: write anew
//   out.Commit();                      // the record that gives the input back, the header, rename
//
// Until Commit() has renamed the file, any failure, the object's end and a termination signal
// (held off meanwhile) put the first input back as it was. The record (AppendUndo.h) lies beside
// the output as "<output>.undo".
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "asf/AppendUndo.h"
#include "asf/AsfFile.h"
#include "asf/Remuxer.h"
#include "asf/UniqueFd.h"
#include "cutter/AsyncFileWriter.h"
#include "cutter/SignalCleanup.h"

namespace kestrine::cutter {

// The first input cannot be taken over, or the output would not keep its packets where they lie;
// nothing has been changed. what() says why, for a note.
class NotAppendable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class AppendedOutput : public asf::OutputSink {
public:
    // `others`: the join's other inputs' paths, which must not be the first one under another name.
    AppendedOutput(const asf::AsfFile& first, const std::vector<std::string>& others, std::filesystem::path target,
                   bool replaceExisting);
    ~AppendedOutput() override;
    AppendedOutput(const AppendedOutput&) = delete;
    AppendedOutput& operator=(const AppendedOutput&) = delete;

    void Write(std::span<const std::uint8_t> bytes) override;
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    std::uint64_t Size() const override { return size_; }
    void WriteCopyOf(std::span<const std::uint8_t> bytes, const asf::InputFile& file, std::uint64_t offset) override;
    void WriteRangeOf(const asf::InputFile& file, std::uint64_t offset, std::uint64_t size) override;

    void Commit();

private:
    bool InPlace(const asf::InputFile& file, std::uint64_t offset, std::uint64_t size) const;
    void Check() const;
    void WriteHead(std::span<const std::uint8_t> bytes);
    void ExpectSame(std::span<const std::uint8_t> bytes);
    void WriteAfter(std::span<const std::uint8_t> bytes);
    void BeginChanging();
    void Flush();
    void WaitForWrites();
    void Rollback() noexcept;
    [[noreturn]] void Fail(const std::string& action, int error) const;

    const asf::InputFile* firstFile_;
    std::filesystem::path source_;
    std::filesystem::path target_;
    bool replaceExisting_;
    asf::UniqueFd fd_;
    std::uint64_t packetsAt_;
    // What the first input was (its bytes the output replaces) and what the output is becoming: its
    // header (laterHead), written last, and its size.
    asf::AppendUndo undo_;
    std::uint64_t size_ = 0;
    bool changing_ = false;           // bytes of the first input have been replaced
    bool recordWritten_ = false;
    bool committed_ = false;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> spare_;
    std::uint64_t bufferAt_ = 0;
    std::unique_ptr<AsyncFileWriter> writer_;
    TerminationHold hold_;
};

}  // namespace kestrine::cutter
