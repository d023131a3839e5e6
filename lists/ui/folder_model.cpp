#include "lists/ui/folder_model.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <algorithm>

namespace nocturo {

namespace {

const QFileIconProvider& Icons() {
    static const QFileIconProvider provider;
    return provider;
}

// Without an icon theme the desktop offers no folder icon; the style has one.
QIcon FolderIcon() {
    static const QIcon icon = [] {
        QIcon themed = Icons().icon(QFileIconProvider::Folder);
        return themed.isNull() ? QApplication::style()->standardIcon(QStyle::SP_DirIcon) : themed;
    }();
    return icon;
}

}  // namespace

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent) {}

bool FolderModel::SetFolder(const QString& folder) {
    std::vector<Item> items;
    const QByteArray path = QFile::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (dir != nullptr) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.') {
                continue;  // ".", ".." and hidden folders
            }
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                struct stat st {};
                isFolder = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (isFolder) {
                Item item;
                item.name = QFile::decodeName(name);
                items.push_back(std::move(item));
            }
        }
        ::closedir(dir);
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            return collator.compare(a.name, b.name) < 0;
        });
    }
    beginResetModel();
    folder_ = folder;
    items_ = std::move(items);
    endResetModel();
    return dir != nullptr;
}

QString FolderModel::FilePath(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= static_cast<int>(items_.size())) {
        return {};
    }
    return QDir(folder_).filePath(items_[static_cast<size_t>(index.row())].name);
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

void FolderModel::Detail(const Item& item) const {
    if (item.detailed) {
        return;
    }
    auto& it = const_cast<Item&>(item);
    const QFileInfo info(QDir(folder_).filePath(item.name));
    it.detailed = true;
    it.isFolder = info.isDir();
    it.size = std::max<qint64>(1, (info.size() + 1023) / 1024);
    it.type = Icons().type(info);
    const QDateTime modified = info.lastModified();
    if (modified.isValid() && modified.toSecsSinceEpoch() != 0) {
        it.modified = QLocale().toString(modified.toLocalTime(), QLocale::ShortFormat);
    }
    if (!info.isWritable()) {
        it.attributes += 'R';
    }
    if (item.name.startsWith('.')) {
        it.attributes += 'H';
    }
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(items_.size())) {
        return {};
    }
    const Item& item = items_[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            if (column == Name) {
                return item.name;
            }
            Detail(item);
            switch (column) {
                case Size:
                    return item.isFolder ? QString() : QString::asprintf("%lldKB", item.size);
                case Type:
                    return item.type;
                case Modified:
                    return item.modified;
                case Attributes:
                    return item.attributes;
                default:
                    return {};
            }
        case Qt::DecorationRole:
            if (column == Name) {
                return FolderIcon();
            }
            return {};
        case Qt::TextAlignmentRole:
            if (column == Size || column == Attributes) {
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            }
            return {};
        case Qt::ForegroundRole:
            if (column != Name) {
                return QApplication::palette().color(QPalette::WindowText);
            }
            return {};
        default:
            return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kNames[] = {"Name", "Size", "Type", "Modified", "Attributes"};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString(kNames[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(
            (section == Size || section == Attributes ? Qt::AlignRight : Qt::AlignLeft) |
            Qt::AlignVCenter);
    }
    return {};
}

}  // namespace nocturo
