// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Qt view's model of the device table: ten text columns, a check box in the first column.
// Lives on the GUI thread, like the table it shows; it follows the table through its observer.
#include <QAbstractTableModel>

#include "window/device_table.h"

namespace quillon {

class DeviceListModel : public QAbstractTableModel, private DeviceTableObserver {
    Q_OBJECT
public:
    DeviceListModel(DeviceTable& table, QObject* parent = nullptr);
    ~DeviceListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column titles follow the text table; called once the language is known.
    void refresh_headers();

private:
    void rows_about_to_be_inserted(int first, int last) override;
    void rows_inserted(int first, int last) override;
    void cell_changed(int row, int col) override;
    void check_changed(int row) override;
    void rows_about_to_be_reset() override;
    void rows_reset() override;
    void rows_about_to_be_reordered() override;
    void rows_reordered(const std::vector<int>& new_to_old) override;

    DeviceTable& table_;
};

}  // namespace quillon
