#include "ui/stringtablemodel.h"

#include <algorithm>

#include <QColor>

#include "codec/charconv.h"
#include "codec/displaytext.h"
#include "file/errors.h"
#include "codec/format.h"
#include "codec/writer.h"

namespace tavolin {

namespace {

// Rows whose characters change on saving: a warm tint that reads well under
// both the selection colour and plain text.
const QColor kChangesOnSaveColour(255, 226, 170);
// Rows longer than their slot, which stop a save: a red of their own.
const QColor kOverlongColour(255, 170, 170);

// A tool tip as tall as the screen helps nobody: the first few changes say
// what kind of file it is.
constexpr std::size_t kListedChanges = 10;

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
        return QString::fromStdU32String(
            TextToShown(index.column() == 0 ? m_table.KeyAt(row) : m_table.ValueAt(row)));
    }
    case Qt::ToolTipRole:
        return hasEntry ? QVariant(ToolTip(index.row())) : QVariant();
    case Qt::BackgroundRole:
        return hasEntry && index.column() == 1 ? Background(index.row()) : QVariant();
    default:
        return {};
    }
}

std::vector<CharChange> StringTableModel::SavingChangesOf(int row) const
{
    const auto entry = static_cast<std::size_t>(row);
    const auto it = m_savingChanges.find(entry);
    if (it == m_savingChanges.end() || entry >= m_table.EntryCount())
        return {};
    const std::string text = m_table.ValueAt(entry);
    const auto scanned = m_scannedTexts.find(entry);
    const bool asScanned = scanned != m_scannedTexts.end() && scanned->second == text;
    std::vector<CharChange> now;
    for (const CharChange& c : it->second) {
        bool lasts = asScanned;
        if (c.from == kNoLengthByte) {
            lasts = true; // a matter of the slot, not of its text
        } else if (c.to != 0) {
            const char byte = static_cast<char>(DecodeChar(static_cast<std::uint8_t>(c.to & 0xFF),
                                                           static_cast<std::uint8_t>(c.to >> 8)));
            lasts = text.find(byte) != std::string::npos;
        }
        if (lasts)
            now.push_back(c);
    }
    return now;
}

bool StringTableModel::IsOverlong(int row) const
{
    const auto entry = static_cast<std::size_t>(row);
    if (m_captionFile || entry >= m_table.EntryCount())
        return false;
    const std::string capacity = m_capacities.ValueOf(m_table.KeyAt(entry));
    try {
        return static_cast<long long>(m_table.ValueLengthAt(entry)) > StrToInt(capacity);
    } catch (const ConvertError&) {
        return false;
    }
}

QVariant StringTableModel::Background(int row) const
{
    if (IsOverlong(row))
        return kOverlongColour;
    if (!SavingChangesOf(row).empty())
        return kChangesOnSaveColour;
    return {};
}

QString StringTableModel::ToolTip(int row) const
{
    const auto entry = static_cast<std::size_t>(row);
    if (entry >= m_table.EntryCount())
        return {};
    const auto length = static_cast<int>(m_table.ValueLengthAt(entry));
    QString tip;
    if (m_captionFile) {
        tip = QStringLiteral("%1 characters; the texts of a caption file share its %2 bytes, "
                             "%3 of them in use")
                  .arg(length)
                  .arg(kCaptionLimit)
                  .arg(CaptionFileBytes(m_table));
    } else {
        const std::string capacity = m_capacities.ValueOf(m_table.KeyAt(entry));
        try {
            const int slot = StrToInt(capacity);
            tip = QStringLiteral("%1 of %2 characters").arg(length).arg(slot);
            if (length > slot)
                tip += QStringLiteral("\nLonger than its slot: the file is not saved until this text "
                                      "loses %1 characters")
                           .arg(length - slot);
        } catch (const ConvertError&) {
            tip = QStringLiteral("%1 characters").arg(length);
        }
    }
    const std::vector<CharChange> changes = SavingChangesOf(row);
    if (!changes.empty()) {
        tip += QStringLiteral("\nOn saving:");
        for (std::size_t i = 0; i < changes.size() && i < kListedChanges; ++i)
            tip += u'\n' + QString::fromStdString(SavingChangeText(changes[i], m_captionFile, true));
        if (changes.size() > kListedChanges)
            tip += QStringLiteral("\nand %1 more").arg(changes.size() - kListedChanges);
    }
    return tip;
}

QVariant StringTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < 2
                   ? QVariant(QString::fromStdU32String(TextToShown(m_table.Title(section))))
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
    const auto bytes = ShownToText(value.toString().toStdU32String());
    if (!bytes.text)
        return false;
    WriteBack(index.row(), *bytes.text);
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
    // The marks and the tool tip follow the text.
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
    m_scannedTexts.clear();
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
    m_scannedTexts.clear();
    for (const auto& [entry, list] : m_savingChanges) {
        if (entry < m_table.EntryCount())
            m_scannedTexts.emplace(entry, m_table.ValueAt(entry));
    }
    if (m_shownRows > 0)
        emit dataChanged(index(0, 1), index(m_shownRows - 1, 1), {Qt::BackgroundRole, Qt::ToolTipRole});
}

} // namespace tavolin
