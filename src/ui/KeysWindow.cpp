#include "ui/KeysWindow.h"

#include "ui/Fonts.h"

#include <QGridLayout>
#include <QLabel>
#include <QScreen>

namespace kestrine::ui {

TKeysWindow::TKeysWindow(QWidget* mainWindow, const std::vector<TKeyLine>& lines) : QWidget(mainWindow, Qt::Tool)
{
    setObjectName(QStringLiteral("KeysWindow"));
    setWindowTitle(QStringLiteral("Keys"));
    setFont(TahomaFont(11));
    // A layout, not fixed places: the list grows with the font and the desktop's scale.
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    int row = 0;
    for (const TKeyLine& line : lines) {
        auto* keys = new QLabel(line.Keys, this);
        QFont bold = keys->font();
        bold.setBold(true);
        keys->setFont(bold);
        grid->addWidget(keys, row, 0);
        grid->addWidget(new QLabel(line.Does, this), row, 1);
        ++row;
    }
    setFixedSize(sizeHint());
}

void TKeysWindow::ShowInFront()
{
    if (!placed_) {
        placed_ = true;
        const QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
        QRect area = over != nullptr && over->isVisible() ? over->frameGeometry() : QRect();
        if (area.isNull() && screen() != nullptr) area = screen()->availableGeometry();
        if (!area.isNull()) move(area.center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

}  // namespace kestrine::ui
