#pragma once

#include <optional>

#include <QAbstractTableModel>

namespace tavolin {

class Document;

// The grid's view of a document read by resource structure: one row per
// text in file order, columns ID ("R.I"), Source (the text as the file held
// it when opened, read-only) and Value (the text as it is now, edited). It
// reads and writes the document and keeps no rows of its own.
class DocumentModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kIdColumn = 0, kSourceColumn = 1, kValueColumn = 2, kColumnCount = 3 };

    explicit DocumentModel(QObject* parent = nullptr);

    // The document shown, not owned; nullptr shows no rows.
    void SetDocument(Document* document);
    [[nodiscard]] Document* CurrentDocument() const { return m_document; }
    // Guessed texts can be edited only while this is on.
    void SetEditGuessed(bool on);
    [[nodiscard]] bool EditGuessed() const { return m_editGuessed; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The edit of `row`'s value.
    void WriteBack(int row, const QString& text);
    // Whether the value of `row` can be edited now.
    [[nodiscard]] bool IsEditable(int row) const;
    // The text of `row` as it is now, line feeds and tabs as they are.
    [[nodiscard]] QString Text(int row) const;
    // The first character of `text` that `row`'s text cannot hold.
    [[nodiscard]] std::optional<char32_t> RefusedCharacter(int row, const QString& text) const;
    // "LTEXT, 12 of at most 255 UTF-16 units", "guessed" where it is.
    [[nodiscard]] QString ToolTip(int row) const;
    // How many lines `row` takes at most, of its source and its value.
    [[nodiscard]] int LineCount(int row) const;

private:
    [[nodiscard]] bool HasRow(const QModelIndex& index) const;

    Document* m_document = nullptr;
    bool m_editGuessed = false;
};

// A text as the grid paints it: line feeds break the line, tabs show as an
// arrow.
[[nodiscard]] QString ShownText(const QString& text);

} // namespace tavolin
