#include "asf/AppendUndo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "asf/ByteReader.h"
#include "asf/ByteWriter.h"
#include "asf/FormatError.h"
#include "asf/PositionedIo.h"
#include "asf/UniqueFd.h"

namespace kestrine::asf {

namespace {

constexpr std::string_view kMagic = "KESTRINE APPEND UNDO 1\n";
// Heads are headers and tails are indexes: far below this in any file the cutter writes.
constexpr std::uint64_t kMaxPart = 64u << 20;

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

[[noreturn]] void Fail(const std::string& what, int error)
{
    throw std::runtime_error(what + ": " + std::strerror(error));
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) Fail("cannot read " + Quoted(path), errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) Fail("cannot read " + Quoted(path), errno);
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > 3 * kMaxPart)
        throw std::runtime_error(Quoted(path) + " is no undo record");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    if (!asf::ReadAllAt(fd.Get(), bytes, 0)) Fail("cannot read " + Quoted(path), errno ? errno : EIO);
    return bytes;
}

bool PlainFileName(const std::string& name)
{
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The later file open for writing, checked to be what the record describes.
UniqueFd OpenDescribedLater(const std::filesystem::path& later, const AppendUndo& undo, int flags)
{
    UniqueFd fd(::open(later.c_str(), flags | O_CLOEXEC));
    if (!fd.Valid()) Fail("cannot open " + Quoted(later), errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) Fail("cannot open " + Quoted(later), errno);
    std::vector<std::uint8_t> head(undo.laterHead.size());
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != undo.laterSize ||
        !asf::ReadAllAt(fd.Get(), head, 0) || head != undo.laterHead)
        throw std::runtime_error(Quoted(later) + " has changed since the join that made it, so " +
                                 Quoted(later.parent_path() / undo.earlierName) + " cannot be given back from it");
    return fd;
}

}  // namespace

std::filesystem::path AppendUndoPath(const std::filesystem::path& output)
{
    std::filesystem::path path = output;
    path += ".undo";
    return path;
}

std::vector<std::uint8_t> SerializeAppendUndo(const AppendUndo& undo)
{
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    ByteWriter w(out);
    w.U32(static_cast<std::uint32_t>(undo.earlierName.size()));
    w.Bytes({reinterpret_cast<const std::uint8_t*>(undo.earlierName.data()), undo.earlierName.size()});
    w.U64(undo.earlierSize);
    w.U64(undo.earlierHead.size());
    w.Bytes(undo.earlierHead);
    w.U64(undo.tailOffset);
    w.U64(undo.earlierTail.size());
    w.Bytes(undo.earlierTail);
    w.U64(undo.laterSize);
    w.U64(undo.laterHead.size());
    w.Bytes(undo.laterHead);
    return out;
}

AppendUndo ParseAppendUndo(std::span<const std::uint8_t> bytes)
{
    ByteReader r(bytes, "undo record");
    const auto magic = r.Bytes(kMagic.size());
    if (!std::equal(magic.begin(), magic.end(), kMagic.begin())) throw FormatError("not an undo record");
    auto part = [&r](std::uint64_t size) {
        if (size > kMaxPart) throw FormatError("the undo record is damaged");
        const auto b = r.Bytes(static_cast<std::size_t>(size));
        return std::vector<std::uint8_t>(b.begin(), b.end());
    };
    AppendUndo undo;
    const auto name = part(r.U32());
    undo.earlierName.assign(name.begin(), name.end());
    undo.earlierSize = r.U64();
    undo.earlierHead = part(r.U64());
    undo.tailOffset = r.U64();
    undo.earlierTail = part(r.U64());
    undo.laterSize = r.U64();
    undo.laterHead = part(r.U64());
    if (!r.AtEnd() || !PlainFileName(undo.earlierName) || undo.laterHead.size() != undo.earlierHead.size() ||
        undo.earlierHead.size() > undo.tailOffset || undo.tailOffset > undo.earlierSize ||
        undo.earlierSize - undo.tailOffset != undo.earlierTail.size() || undo.laterSize < undo.tailOffset)
        throw FormatError("the undo record is damaged");
    return undo;
}

void WriteAppendUndo(const std::filesystem::path& path, const AppendUndo& undo)
{
    std::filesystem::path temporary = path;
    temporary += ".part";
    const std::vector<std::uint8_t> bytes = SerializeAppendUndo(undo);
    {
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!fd.Valid()) Fail("cannot write " + Quoted(temporary), errno);
        try {
            if (!WriteAllAt(fd.Get(), bytes, 0)) Fail("cannot write " + Quoted(temporary), errno);
            if (::fsync(fd.Get()) != 0 || !fd.Close()) Fail("cannot write " + Quoted(temporary), errno);
        } catch (...) {
            ::unlink(temporary.c_str());
            throw;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        Fail("cannot write " + Quoted(path), error);
    }
    SyncFolderOf(path);
}

bool PutEarlierBack(int fd, const AppendUndo& undo)
{
    // The tail first and the header last: until the header is back the file still reads as the
    // later one's header describes (with fewer packets than it claims), never as a mix.
    return WriteAllAt(fd, undo.earlierTail, undo.tailOffset) &&
           ::ftruncate(fd, static_cast<off_t>(undo.earlierSize)) == 0 && ::fdatasync(fd) == 0 &&
           WriteAllAt(fd, undo.earlierHead, 0) && ::fsync(fd) == 0;
}

bool CanGiveBack(const std::filesystem::path& later, const std::string& earlierName)
{
    try {
        const AppendUndo undo = ParseAppendUndo(ReadWholeFile(AppendUndoPath(later)));
        if (!earlierName.empty() && undo.earlierName != earlierName) return false;
        OpenDescribedLater(later, undo, O_RDONLY);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::filesystem::path GiveBackEarlier(const std::filesystem::path& later)
{
    const std::filesystem::path recordPath = AppendUndoPath(later);
    AppendUndo undo;
    try {
        undo = ParseAppendUndo(ReadWholeFile(recordPath));
    } catch (const FormatError& e) {
        throw std::runtime_error(Quoted(recordPath) + ": " + e.what());
    }
    const std::filesystem::path earlier = later.parent_path() / undo.earlierName;
    UniqueFd fd = OpenDescribedLater(later, undo, O_RDWR);
    if (!PutEarlierBack(fd.Get(), undo) || !fd.Close()) Fail("cannot write " + Quoted(later), errno);
    if (::rename(later.c_str(), earlier.c_str()) != 0) Fail("cannot rename " + Quoted(later), errno);
    ::unlink(recordPath.c_str());
    SyncFolderOf(earlier);
    return earlier;
}

}  // namespace kestrine::asf
