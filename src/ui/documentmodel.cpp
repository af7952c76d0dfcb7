#include "ui/documentmodel.h"

#include <algorithm>

#include <QColor>
#include <QFont>

#include "document/document.h"

namespace tavolin {

namespace {

// Guessed texts: grey italics, readable but plainly not like the others.
const QColor kGuessedColour(110, 110, 110);

QString ToQString(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString ShownText(const QString& text)
{
    QString shown = text;
    shown.replace(u'\t', QChar(0x2192)); // RIGHTWARDS ARROW
    return shown;
}

DocumentModel::DocumentModel(QObject* parent) : QAbstractTableModel(parent) {}

void DocumentModel::SetDocument(Document* document)
{
    beginResetModel();
    m_document = document;
    endResetModel();
}

void DocumentModel::SetEditGuessed(bool on)
{
    if (m_editGuessed == on)
        return;
    m_editGuessed = on;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

bool DocumentModel::HasRow(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < rowCount() && index.column() >= 0 &&
           index.column() < kColumnCount;
}

int DocumentModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_document ? 0 : static_cast<int>(m_document->Texts().size());
}

int DocumentModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QString DocumentModel::Text(int row) const
{
    return ToQString(m_document->Texts().at(static_cast<std::size_t>(row)).text);
}

QVariant DocumentModel::data(const QModelIndex& index, int role) const
{
    if (!HasRow(index))
        return {};
    const DocumentText& text = m_document->Texts()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kIdColumn:
            return QString::fromStdString(text.id);
        case kSourceColumn:
            return ShownText(ToQString(text.source));
        default:
            return ShownText(ToQString(text.text));
        }
    case Qt::EditRole:
        return index.column() == kValueColumn ? Text(index.row()) : data(index, Qt::DisplayRole);
    case Qt::ToolTipRole:
        return ToolTip(index.row());
    case Qt::FontRole:
        if (!text.certain) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    case Qt::ForegroundRole:
        if (!text.certain || index.column() == kSourceColumn)
            return kGuessedColour;
        return {};
    default:
        return {};
    }
}

QVariant DocumentModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case kIdColumn:
        return QStringLiteral("ID");
    case kSourceColumn:
        return QStringLiteral("Source");
    case kValueColumn:
        return QStringLiteral("Value");
    default:
        return {};
    }
}

bool DocumentModel::IsEditable(int row) const
{
    if (!m_document || row < 0 || row >= rowCount())
        return false;
    return m_editGuessed || m_document->Texts()[static_cast<std::size_t>(row)].certain;
}

Qt::ItemFlags DocumentModel::flags(const QModelIndex& index) const
{
    if (!HasRow(index))
        return Qt::NoItemFlags;
    // Only value cells can become current; only editable ones take edits.
    if (index.column() != kValueColumn)
        return Qt::ItemIsEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsEditable(index.row()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool DocumentModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() != kValueColumn || !HasRow(index) || !IsEditable(index.row()))
        return false;
    const QString text = value.toString();
    if (RefusedCharacter(index.row(), text))
        return false;
    WriteBack(index.row(), text);
    return true;
}

void DocumentModel::WriteBack(int row, const QString& text)
{
    m_document->SetText(static_cast<std::size_t>(row), text.toStdU16String());
    emit dataChanged(index(row, kValueColumn), index(row, kValueColumn));
}

std::optional<char32_t> DocumentModel::RefusedCharacter(int row, const QString& text) const
{
    const auto at = static_cast<std::size_t>(row);
    const QList<uint> characters = text.toUcs4();
    const auto refused = std::find_if(characters.begin(), characters.end(),
                                      [&](uint c) { return !m_document->CanHold(at, c); });
    if (refused == characters.end())
        return std::nullopt;
    return *refused;
}

QString DocumentModel::ToolTip(int row) const
{
    const DocumentText& text = m_document->Texts().at(static_cast<std::size_t>(row));
    const auto units = static_cast<qsizetype>(text.text.size());
    QString tip = QString::fromStdString(text.kind) + QStringLiteral(", ");
    if (text.limit)
        tip += QStringLiteral("%1 of at most %2 UTF-16 units").arg(units).arg(*text.limit);
    else
        tip += QStringLiteral("%1 UTF-16 units").arg(units);
    if (!text.certain) {
        tip += m_editGuessed ? QStringLiteral("\nguessed: found by its look, not by the file's structure")
                             : QStringLiteral("\nguessed: found by its look, not by the file's structure; "
                                              "Reading > Edit guessed texts lets it be edited");
    }
    if (text.limit && text.text.size() > *text.limit)
        tip += QStringLiteral("\nLonger than its limit: the file is not saved until this text loses %1")
                   .arg(static_cast<qsizetype>(text.text.size() - *text.limit));
    return tip;
}

int DocumentModel::LineCount(int row) const
{
    const DocumentText& text = m_document->Texts().at(static_cast<std::size_t>(row));
    const auto lines = [](const std::u16string& s) { return 1 + static_cast<int>(std::count(s.begin(), s.end(), u'\n')); };
    return std::max(lines(text.source), lines(text.text));
}

} // namespace tavolin
