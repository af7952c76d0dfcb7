#include "ui/messagesink.h"

#include <QApplication>
#include <QMessageBox>

namespace tavolin {

void MessageBoxSink::ShowError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void MessageBoxSink::ShowMessage(const QString& text)
{
    // No parent: the box is centred on the screen rather than on the window.
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

} // namespace tavolin
