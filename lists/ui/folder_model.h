#pragma once
// The folder view's items: the subfolders of one folder (hidden ones
// excluded), in name order. Opening a folder reads only the names, without
// examining a single file, so a folder that also holds 50,000 frames opens at
// once; the icon, type, size, time and attributes of an item are read when a
// view first asks for them, that is for the items about to be shown.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <vector>

namespace nocturo {

class FolderModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    /// The report columns.
    enum Column { Name, Size, Type, Modified, Attributes, ColumnCount };

    explicit FolderModel(QObject* parent = nullptr);

    /// Reads the subfolders of `folder` (a path as PathFromBytes gives it).
    /// False when it cannot be read; the model is then empty.
    bool SetFolder(const QString& folder);
    QString Folder() const { return folder_; }

    /// The full path of the item at `index`, its name's bytes kept as
    /// PathFromBytes keeps them; empty for an invalid index.
    QString FilePath(const QModelIndex& index) const;
    /// Every item is a folder.
    bool IsFolder(const QModelIndex& index) const { return index.isValid(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// The column titles and sizes are written in the language in force:
    /// the views show them again.
    void LanguageChanged();

  private:
    struct Item {
        QString name;  // as PathFromBytes gives it
        bool detailed = false;
        bool isFolder = true;
        qint64 size = 0;
        QString type;
        QString modified;
        QString attributes;
    };
    /// Reads what the views show beside the name, once per item.
    void Detail(const Item& item) const;
    QString ItemPath(const Item& item) const;

    QString folder_;
    mutable std::vector<Item> items_;
};

}  // namespace nocturo
