#include "ui/messagesink.h"

#include <QApplication>
#include <QGridLayout>
#include <QLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tavolin {

namespace {

// A box as narrow as "Full Field" leaves the window manager no room for the
// title: keep every box wide enough for it and the frame's buttons.
void KeepTitleVisible(QMessageBox& box)
{
    auto* layout = qobject_cast<QGridLayout*>(box.layout());
    if (!layout)
        return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarControlsWidth;
    layout->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                    layout->rowCount(), 0, 1, layout->columnCount());
}

// A message window is a dialog: it asks the window manager for a title and
// a close button, nothing to minimise or maximise. Its size is fixed, which
// also keeps the maximise button away where the window manager gives every
// resizable window one.
void MakeDialog(QMessageBox& box)
{
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
    box.layout()->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace

void MessageBoxSink::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    MakeDialog(box);
    KeepTitleVisible(box);
    box.exec();
}

void MessageBoxSink::ShowMessage(const QString& text)
{
    // No parent: the box is centred on the screen rather than on the window.
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(QMessageBox::Ok);
    MakeDialog(box);
    KeepTitleVisible(box);
    box.exec();
}

bool MessageBoxSink::Ask(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, m_title, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    MakeDialog(box);
    KeepTitleVisible(box);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tavolin
