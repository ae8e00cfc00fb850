// At start: the results of earlier runs whose editor ended without closing (a crash, a kill).
#include "ui/Unit1.h"

#include "platform/DialogSeam.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace kestrine::ui {

void TForm1::OfferOrphanedResults()
{
    for (const platform::OrphanedRunDirectory& orphan :
         platform::FindOrphanedRunDirectories(environment_.SystemTempPath, environment_.UserCacheDir)) {
        if (orphan.CurrentResult.empty()) {
            platform::RemoveRunDirectory(orphan.Path);
            continue;
        }
        const QFileInfo result(platform::ToQtPath(orphan.CurrentResult));
        platform::MessageRequest request;
        request.owner = this;
        request.title = QStringLiteral("Recovery");
        request.icon = platform::MessageIcon::Question;
        request.buttons = platform::MessageButtons::YesNo;
        request.text = QStringLiteral("An earlier session of the editor ended without closing while a movie was "
                                      "being edited (%1, last changed %2).\nSave that movie now? If not, it is deleted.")
                           .arg(QLocale::c().formattedDataSize(result.size(), 1, QLocale::DataSizeTraditionalFormat),
                                result.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
        if (platform::ShowMessage(request) == platform::ModalResult::Yes) {
            // Given up or failed, the directory stays and is offered again at the next start.
            const auto target = ChooseSaveTarget(orphan.CurrentResult);
            if (!target || !CopyResultTo(orphan.CurrentResult, *target)) continue;
        }
        platform::RemoveRunDirectory(orphan.Path);
    }
}

}  // namespace kestrine::ui
