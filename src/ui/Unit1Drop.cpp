// A source dropped on the Player pane opens as Open does.
#include "ui/Unit1.h"

#include "platform/QtPathNames.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace kestrine::ui {

namespace {

// The one local .asf, .wmv or .wma file the drag carries.
std::optional<std::string> DroppedSource(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    const QString path = urls.front().toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("asf") && suffix != QLatin1String("wmv") && suffix != QLatin1String("wma")) return std::nullopt;
    return platform::FromQtPath(path);
}

}  // namespace

bool TForm1::AcceptsDrop(const QMimeData* dragged, const QPoint& at) const
{
    // The Player pane: everything left of the volume column.
    return !Busy() && at.x() < TrackBar3->x() && DroppedSource(dragged).has_value();
}

void TForm1::dragEnterEvent(QDragEnterEvent* e)
{
    if (AcceptsDrop(e->mimeData(), e->position().toPoint())) e->acceptProposedAction();
    else e->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* e)
{
    if (AcceptsDrop(e->mimeData(), e->position().toPoint())) e->acceptProposedAction();
    else e->ignore();
}

void TForm1::dropEvent(QDropEvent* e)
{
    if (!AcceptsDrop(e->mimeData(), e->position().toPoint())) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // Opened once the drop is over, so the program the file came from is not held by an error box
    // or the keyframe query.
    const std::string path = *DroppedSource(e->mimeData());
    QTimer::singleShot(0, this, [this, path] { OpenSource(path); });
}

}  // namespace kestrine::ui
