#pragma once
// A join that appends to its first input's own file (asfbin.exe -append) takes that file over:
// it keeps the input's packets where they lie, writes the rest after them and renames the file to
// the output. Beside the output it leaves a record of what it replaced, so the earlier file can be
// given back without copying anything:
//
//   WriteAppendUndo(AppendUndoPath(output), undo);      // the cutter, once the output is complete
//   if (CanGiveBack(output, "temp2")) GiveBackEarlier(output);   // the editor's Undo
//
// The record holds the input's bytes before its packets (its header) and after them (its index),
// its size, and the output's size and header as the join left them: a file changed since is never
// cut back.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kestrine::asf {

struct AppendUndo {
    std::string earlierName;                // the first input's file name, in the output's folder
    std::uint64_t earlierSize = 0;
    std::vector<std::uint8_t> earlierHead;  // its bytes from offset 0 up to its packets
    std::uint64_t tailOffset = 0;           // where its packets ended
    std::vector<std::uint8_t> earlierTail;  // its bytes from tailOffset to earlierSize
    std::uint64_t laterSize = 0;
    std::vector<std::uint8_t> laterHead;    // the output's bytes over the same range as earlierHead

    friend bool operator==(const AppendUndo&, const AppendUndo&) = default;
};

// "<output>.undo"
std::filesystem::path AppendUndoPath(const std::filesystem::path& output);

std::vector<std::uint8_t> SerializeAppendUndo(const AppendUndo& undo);
// Throws FormatError for anything but a complete, consistent record.
AppendUndo ParseAppendUndo(std::span<const std::uint8_t> bytes);

// Writes the record durably (a temporary synced and renamed into place). Throws std::runtime_error.
void WriteAppendUndo(const std::filesystem::path& path, const AppendUndo& undo);

// Puts the earlier file's bytes back into the later one open as `fd` (what followed its packets,
// its size, its header) and syncs them. False on an error, errno saying which.
bool PutEarlierBack(int fd, const AppendUndo& undo);

// Whether `later` is still the file its record describes and the record gives back a file named
// `earlierName` (empty: any name).
bool CanGiveBack(const std::filesystem::path& later, const std::string& earlierName = {});

// Cuts `later` back to the earlier file, renames it to the earlier name and removes the record.
// Returns the earlier file's path. Throws std::runtime_error naming the file when there is no
// usable record, when `later` changed since, or on a failing write; `later` is untouched unless
// the failure is the disk's own while cutting back.
std::filesystem::path GiveBackEarlier(const std::filesystem::path& later);

}  // namespace kestrine::asf
