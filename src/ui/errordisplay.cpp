#include "ui/errordisplay.h"

#include <new>
#include <utility>

#include <QFileInfo>

#include "codec/displaytext.h"
#include "tables/error.h"
#include "ui/messagesink.h"

namespace tavolin {

QString ApplicationTitle(const QString& programPath)
{
    QString name = QFileInfo(programPath).fileName();
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ErrorDisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

QString MessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const TavolinError& e) {
        // The core's messages quote table text, which is one byte a character.
        return QString::fromStdU32String(TextToShown(e.what()));
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ShowErrorOf(MessageSink& sink, std::exception_ptr error)
{
    sink.ShowError(ErrorDisplayText(MessageOf(std::move(error))));
}

} // namespace tavolin
