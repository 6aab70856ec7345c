// SPDX-License-Identifier: Apache-2.0
#include "window/qt/device_list_model.h"

#include "texts/ui_texts.h"

namespace quillon {

namespace {
constexpr TextId kHeader[kColumnCount] = {TextId::col_id,     TextId::col_ip,
                                          TextId::col_devid,  TextId::col_mac,
                                          TextId::col_type,   TextId::col_percent,
                                          TextId::col_status, TextId::col_elapsed,
                                          TextId::col_begin,  TextId::col_version};
}  // namespace

DeviceListModel::DeviceListModel(DeviceTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
    table_.add_observer(this);
}

DeviceListModel::~DeviceListModel() { table_.remove_observer(this); }

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_.row_count();
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(table_.get_cell(index.row(), index.column()));
    }
    if (role == Qt::CheckStateRole && index.column() == 0) {
        return table_.get_check(index.row()) ? Qt::Checked : Qt::Unchecked;
    }
    return {};
}

bool DeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != 0) return false;
    // Ticking a row changes only the row.
    table_.set_check(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= kColumnCount) return {};
    return QString::fromStdString(T(kHeader[section]));
}

void DeviceListModel::refresh_headers() {
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void DeviceListModel::rows_about_to_be_inserted(int first, int last) {
    beginInsertRows({}, first, last);
}
void DeviceListModel::rows_inserted(int, int) { endInsertRows(); }
void DeviceListModel::cell_changed(int row, int col) {
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
}
void DeviceListModel::check_changed(int row) {
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}
void DeviceListModel::rows_about_to_be_reset() { beginResetModel(); }
void DeviceListModel::rows_reset() { endResetModel(); }
void DeviceListModel::rows_about_to_be_reordered() { emit layoutAboutToBeChanged(); }
void DeviceListModel::rows_reordered(const std::vector<int>& new_to_old) {
    // Move the persistent indexes (selection, current row) with their rows.
    const QModelIndexList old = persistentIndexList();
    std::vector<int> old_to_new(new_to_old.size(), -1);
    for (std::size_t i = 0; i < new_to_old.size(); ++i) {
        const int o = new_to_old[i];
        if (o >= 0 && static_cast<std::size_t>(o) < old_to_new.size())
            old_to_new[o] = static_cast<int>(i);
    }
    QModelIndexList moved;
    moved.reserve(old.size());
    for (const QModelIndex& i : old) {
        const int r = i.row();
        const int nr = (r >= 0 && static_cast<std::size_t>(r) < old_to_new.size()) ? old_to_new[r]
                                                                                   : -1;
        moved.append(nr < 0 ? QModelIndex() : index(nr, i.column()));
    }
    changePersistentIndexList(old, moved);
    emit layoutChanged();
}

}  // namespace quillon
