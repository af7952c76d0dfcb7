#include "ui/stringtablemodel.h"

#include <QColor>

#include "codec/errors.h"
#include "ui/displaytext.h"

namespace tavolin {

namespace {

// Rows whose characters change on saving: a warm tint that reads well under
// both the selection colour and plain text.
const QColor kChangesOnSaveColour(255, 226, 170);

QString CodeText(char32_t c)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

QString CharText(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return CodeText(c);
    return QString::fromUcs4(&c, 1) + QStringLiteral(" (") + CodeText(c) + u')';
}

} // namespace

bool StringTableModel::IsShown(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < m_shownRows &&
           index.column() >= 0 && index.column() < 2;
}

StringTableModel::StringTableModel(StringTable& table, const StringTable& capacities,
                                   QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_capacities(capacities),
      m_shownEmptyRow(table.EntryCount() == 0)
{
    m_shownRows = m_table.GridRowCount() - 1;
    m_table.SetObserver(this);
}

StringTableModel::~StringTableModel()
{
    m_table.SetObserver(nullptr);
}

int StringTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int StringTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant StringTableModel::data(const QModelIndex& index, int role) const
{
    if (!IsShown(index))
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    // Past the entries: the empty row, or rows of a table just emptied that
    // the views have not been told about yet.
    const bool hasEntry = row < m_table.EntryCount();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        if (!hasEntry)
            return QString();
        return ToDisplay(index.column() == 0 ? m_table.KeyAt(row) : m_table.ValueAt(row));
    }
    case Qt::ToolTipRole:
        return hasEntry ? QVariant(ToolTip(index.row())) : QVariant();
    case Qt::BackgroundRole:
        if (hasEntry && index.column() == 1 && SavingChangesOf(index.row()))
            return kChangesOnSaveColour;
        return {};
    default:
        return {};
    }
}

QString StringTableModel::ToolTip(int row) const
{
    const auto entry = static_cast<std::size_t>(row);
    const auto length = static_cast<int>(m_table.ValueLengthAt(entry));
    QString tip;
    const std::string capacity = m_capacities.ValueOf(m_table.KeyAt(entry));
    try {
        tip = QStringLiteral("%1 of %2 characters").arg(length).arg(StrToInt(capacity));
    } catch (const ConvertError&) {
        tip = QStringLiteral("%1 characters").arg(length);
    }
    if (const auto* changes = SavingChangesOf(row)) {
        tip += QStringLiteral("\nOn saving:");
        for (const CharChange& c : *changes) {
            if (c.from == kNoLengthByte)
                tip += QStringLiteral("\nno length byte of its own: the file is not saved");
            else if (c.from == 0)
                tip += u'\n' + CodeText(0) + QStringLiteral(" moves to the end");
            else
                tip += u'\n' + CharText(c.from) +
                       (c.to == 0 ? QStringLiteral(" is dropped")
                                  : QStringLiteral(" becomes ") + CharText(c.to));
        }
    }
    return tip;
}

QVariant StringTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < 2 ? QVariant(ToDisplay(m_table.Title(section)))
                                           : QVariant();
    return section + 1;
}

Qt::ItemFlags StringTableModel::flags(const QModelIndex& index) const
{
    if (!IsShown(index))
        return Qt::NoItemFlags;
    // Only value cells can become current and be edited.
    if (index.column() == 1)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    return Qt::ItemIsEnabled;
}

bool StringTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() != 1 ||
        !IsShown(index))
        return false;
    const auto bytes = FromDisplay(value.toString());
    if (!bytes)
        return false;
    WriteBack(index.row(), *bytes);
    return true;
}

void StringTableModel::WriteBack(int row, const std::string& text)
{
    if (m_table.EntryCount() == 0) {
        if (text.empty())
            return;
        m_writingBack = true;
        m_table.AppendEntry("", text);
        m_writingBack = false;
        m_shownEmptyRow = false;
    } else {
        m_table.SetValue(static_cast<std::size_t>(row), text);
    }
    emit dataChanged(index(row, 0), index(row, 1));
}

void StringTableModel::EntriesAboutToChange()
{
    if (!m_writingBack)
        emit entriesAboutToChange();
}

void StringTableModel::EntryAppended(std::size_t)
{
    if (!m_writingBack)
        MarkPending();
}

void StringTableModel::EntriesRemoved(std::size_t)
{
    // The table emptied in one step; so do the views.
    beginResetModel();
    m_shownRows = 1;
    m_shownEmptyRow = true;
    m_savingChanges.clear();
    endResetModel();
    MarkPending();
}

void StringTableModel::MarkPending()
{
    if (m_pending)
        return;
    m_pending = true;
    emit flushNeeded();
}

void StringTableModel::Flush()
{
    if (!m_pending)
        return;
    m_pending = false;
    const int rows = m_table.GridRowCount() - 1;
    if (m_shownEmptyRow && m_table.EntryCount() > 0) {
        m_shownEmptyRow = false;
        emit dataChanged(index(0, 0), index(0, 1));
    }
    if (rows > m_shownRows) {
        beginInsertRows({}, m_shownRows, rows - 1);
        m_shownRows = rows;
        endInsertRows();
    }
    emit entriesSettled();
}

void StringTableModel::SetSavingChanges(SavingChanges changes)
{
    m_savingChanges = std::move(changes);
    if (m_shownRows > 0)
        emit dataChanged(index(0, 1), index(m_shownRows - 1, 1), {Qt::BackgroundRole, Qt::ToolTipRole});
}

const std::vector<CharChange>* StringTableModel::SavingChangesOf(int row) const
{
    const auto it = m_savingChanges.find(static_cast<std::size_t>(row));
    return it == m_savingChanges.end() ? nullptr : &it->second;
}

} // namespace tavolin
