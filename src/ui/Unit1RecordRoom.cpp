// Before a Record: room on the results' file system for the span and what the join appends.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "core/RecordRoom.h"
#include "core/ResultChain.h"
#include "platform/DialogSeam.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"

#include <QLocale>

namespace kestrine::ui {

using core::Edit;

bool TForm1::RoomForRecord()
{
    const std::optional<std::uint64_t> free = FreeSpace ? FreeSpace(Edit.TempDir) : std::nullopt;
    const std::optional<std::uint64_t> sourceBytes = platform::FileSize(OpenDialog1.FileName);
    // Without the figures the cutter tries, and says itself what went wrong.
    if (!free || !sourceBytes) return true;
    const core::RecordRoom room =
        core::EstimateRecordRoom(*sourceBytes, Edit.PlayerDuration, Edit.MarkIn, Edit.MarkOut, Edit.ResultCounter > 0);
    // Record removes the leftovers it writes over before the cutter starts, so their room counts as free.
    std::uint64_t available = *free + platform::FileSize(core::SegmentPath(Edit)).value_or(0);
    if (Edit.ResultCounter > 0) available += platform::FileSize(core::JoinedResultPath(Edit)).value_or(0);
    if (room.Needed <= available) return true;

    const QLocale c = QLocale::c();
    const auto size = [&c](std::uint64_t bytes) {
        return c.formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
    };
    platform::MessageRequest request;
    request.owner = this;
    request.title = QStringLiteral("Record");
    request.icon = platform::MessageIcon::Warning;
    request.text = room.Appended > 0
        ? QStringLiteral("There is not enough room in %1 for this Record: it needs about %2 (the span about %3, "
                         "and as much again joined to the result), and %4 are free.")
              .arg(platform::ToQtPath(Edit.TempDir), size(room.Needed), size(room.Segment), size(available))
        : QStringLiteral("There is not enough room in %1 for this Record: it needs about %2 for the span, and "
                         "%3 are free.")
              .arg(platform::ToQtPath(Edit.TempDir), size(room.Needed), size(available));
    request.text += QStringLiteral("\nSave the result or free some room there, then record again.");
    platform::ShowMessage(request);
    return false;
}

}  // namespace kestrine::ui
