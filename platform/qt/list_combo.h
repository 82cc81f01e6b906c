#pragma once
// A combo box with an edit field and a sorted drop-down list, whose edit text
// and list selection change only as the form or the user asks: adding entries
// never selects one, typing raises only userEdited, a pick only userPicked.

#include <QAbstractListModel>
#include <QWidget>
#include <optional>

#include "platform/qt/sorted_entries.h"

class QListView;

namespace platform::qt {

class FieldEdit;

// The list entries as a model for the drop-down view.
class EntryModel : public QAbstractListModel {
    Q_OBJECT
public:
    EntryModel(const SortedEntries& entries, QObject* parent);
    int rowCount(const QModelIndex& parent) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Tells the view the entries have changed.
    void Refresh();

private:
    const SortedEntries& entries_;
};

// The combo box control.
class ListCombo : public QWidget {
    Q_OBJECT
public:
    ListCombo(bool upperCase, QWidget* parent);

    FieldEdit& Edit() { return *edit_; }
    const FieldEdit& Edit() const { return *edit_; }

    // Program operations; none of them raises a signal.
    void Clear();                    // entries, selection and edit text
    int Add(const QString& text);    // answers the entry's position
    void AddMany(const QStringList& texts);
    int Count() const { return entries_.Count(); }
    int Find(int start, const QString& prefix) const { return entries_.FindPrefix(start, prefix); }
    int Select(int index);           // -1 or beyond: no selection, empty edit
    int Selection() const;           // -1 when none
    std::optional<QString> Entry(int index) const { return entries_.At(index); }

    bool PopupVisible() const;
    void ShowPopup();
    void HidePopup();

signals:
    void userEdited();  // the user typed into the edit field
    void userPicked();  // the user chose an entry of the list

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Pick(int index);
    void Step(int delta);
    void PlaceEdit();

    bool upperCase_;
    FieldEdit* edit_;
    SortedEntries entries_;
    std::optional<SortedEntries::Key> selected_;
    EntryModel* model_;
    QListView* popup_ = nullptr;
};

}  // namespace platform::qt
