// SPDX-License-Identifier: Apache-2.0
// The main window's widgets, layout, keys, size rule, texts and start-up states.
#include "window/qt/quillon_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "texts/ui_texts.h"
#include "window/qt/about_dlg.h"
#include "window/qt/column_rule.h"
#include "window/qt/device_list_model.h"
#include "window/qt/dlg_view.h"
#include "window/qt/gui_window_port.h"
#include "window/qt/ipv4_edit.h"
#include "window/qt/ping_window.h"

namespace quillon {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString q(TextId id) { return QString::fromStdString(T(id)); }

template <class W>
W* named(W* w, int id) {
    w->setObjectName(QString::number(id));
    return w;
}

QPushButton* flat_button(QWidget* parent, int id) {
    auto* b = named(new QPushButton(QStringLiteral("..."), parent), id);
    b->setFlat(true);
    b->setFixedWidth(40);
    return b;
}

}  // namespace

CQuillonDlg::CQuillonDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setMinimumSize(665, 665);
    setAcceptDrops(true);
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    build_widgets();
    port_ = std::make_unique<GuiWindowPort>(*this);
    model_ = std::make_unique<DeviceListModel>(port_->device_table());
    list_->setModel(model_.get());
    view_ = std::make_unique<DlgView>(*this);
    ctl_ = std::make_unique<WindowController>(*view_, *port_, flags_, deviceLog);
    connect_commands();

    // Enter and F1 are swallowed before any control sees them, so Enter never presses a button.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    list_->viewport()->installEventFilter(this);

    // Initial column widths: the plain fractions of the list's width; later resizes cap them.
    const auto widths = column_widths(list_->viewport()->width(), false);
    for (int c = 0; c < kColumns; ++c) list_->horizontalHeader()->resizeSection(c, widths[c]);
}

CQuillonDlg::~CQuillonDlg() {
    ctl_->stop_search_windows();
    // The port may still be asked by other threads until start-up's shutdown has stopped them;
    // from here on its requests find no window and answer as for an empty list.
    if (port_) port_->close();
    list_->setModel(nullptr);
    model_.reset();
}

WindowPort& CQuillonDlg::port() { return *port_; }

void CQuillonDlg::build_widgets() {
    // Row by row, top to bottom, in the order of the controls within each row.
    auto* root = new QVBoxLayout(this);

    auto* slot_grid = new QGridLayout;
    zip_check_ = named(new QCheckBox(this), IDC_ZIP_CHECK);
    zip_path_ = named(new QLineEdit(this), IDC_ZIP_PATH);
    zip_browse_ = flat_button(this, IDC_ZIP_BROWSE);
    slot_grid->addWidget(zip_check_, 0, 0);
    slot_grid->addWidget(zip_path_, 0, 1);
    slot_grid->addWidget(zip_browse_, 0, 2);
    for (int i = 0; i < 4; ++i) {
        slot_check_[i] = named(new QCheckBox(this), kSlotCheck[i]);
        slot_path_[i] = named(new QLineEdit(this), kSlotPath[i]);
        slot_browse_[i] = flat_button(this, kSlotBrowse[i]);
        slot_grid->addWidget(slot_check_[i], i + 1, 0);
        slot_grid->addWidget(slot_path_[i], i + 1, 1);
        slot_grid->addWidget(slot_browse_[i], i + 1, 2);
    }
    slot_grid->setColumnStretch(1, 1);
    root->addLayout(slot_grid);

    auto* range_row = new QHBoxLayout;
    range_box_ = named(new QCheckBox(this), IDC_RANGE_BOX);
    range_start_ = named(new Ipv4Edit(this), IDC_RANGE_START);
    range_start_->setMinimumWidth(120);
    auto* dash = new QLabel(QStringLiteral("-"), this);
    range_end_ = named(new QLineEdit(this), IDC_RANGE_END);
    range_end_->setMaxLength(3);
    range_end_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[0-9]{0,3}$")), this));
    range_end_->setFixedWidth(40);
    adapter_ = named(new QComboBox(this), IDC_ADAPTER);
    adapter_->setMinimumWidth(90);
    auto_retry_ = named(new QCheckBox(this), IDC_AUTO_RETRY);
    threads_ = named(new QComboBox(this), IDC_THREADS);
    range_row->addWidget(range_box_);
    range_row->addWidget(range_start_);
    range_row->addWidget(dash);
    range_row->addWidget(range_end_);
    range_row->addWidget(adapter_, 1);
    range_row->addWidget(auto_retry_);
    range_row->addWidget(threads_);
    root->addLayout(range_row);

    auto* view_row = new QHBoxLayout;
    select_all_ = named(new QCheckBox(this), IDC_SELECT_ALL);
    worker_label_ = named(new QLabel(this), IDC_WORKER_LABEL);
    worker_view_ = named(new QComboBox(this), IDC_WORKER_VIEW);
    status_line_ = named(new QLabel(this), IDC_STATUS_LINE);
    status_line_->setMinimumWidth(120);
    counter_ = named(new QLabel(QStringLiteral("( 0/0 )"), this), IDC_COUNTER);
    type_filter_ = named(new QComboBox(this), IDC_TYPE_FILTER);
    view_row->addWidget(select_all_);
    view_row->addWidget(worker_label_);
    view_row->addWidget(worker_view_);
    view_row->addWidget(status_line_, 1);
    view_row->addWidget(counter_);
    view_row->addWidget(type_filter_);
    root->addLayout(view_row);

    auto* bar_row = new QHBoxLayout;
    auto make_bar = [this](int id) {
        auto* bar = named(new QProgressBar(this), id);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    };
    img_bar_ = make_bar(IDC_IMG_BAR);
    dev_bar_ = make_bar(IDC_DEV_BAR);
    all_bar_ = make_bar(IDC_ALL_BAR);
    bar_row->addWidget(new QLabel(QStringLiteral("IMG:"), this));
    bar_row->addWidget(img_bar_, 1);
    bar_row->addWidget(new QLabel(QStringLiteral("DEV:"), this));
    bar_row->addWidget(dev_bar_, 1);
    bar_row->addWidget(new QLabel(QStringLiteral("ALL:"), this));
    bar_row->addWidget(all_bar_, 1);
    root->addLayout(bar_row);

    list_ = named(new QTableView(this), IDC_DEVICE_LIST);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setShowGrid(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setContextMenuPolicy(Qt::PreventContextMenu);
    list_->verticalHeader()->setVisible(false);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->setWordWrap(false);
    root->addWidget(list_, 1);  // the list takes the room when the window grows

    auto* buttons = new QHBoxLayout;
    start_ = named(new QPushButton(this), IDC_START);
    clean_ = named(new QPushButton(this), IDC_CLEAN);
    search_ = named(new QPushButton(this), IDC_SEARCH);
    exit_ = named(new QPushButton(this), IDC_EXIT);
    for (QPushButton* b : {start_, clean_, search_, exit_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        buttons->addStretch();
        buttons->addWidget(b);
    }
    buttons->addStretch();
    root->addLayout(buttons);

    // The hidden conflict test command: present as a control, never shown.
    conflict_test_ = named(new QPushButton(this), IDC_CONFLICT_TEST);
    conflict_test_->setAutoDefault(false);
    conflict_test_->setVisible(false);
}

QWidget* CQuillonDlg::control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

// ---------------- keys, close, size, about ----------------

bool CQuillonDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F1) {
            event->accept();
            return true;  // consumed: nothing further happens
        }
    }
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::QueryWhatsThis) {
        return true;  // help requests are answered as handled, with no action
    }
    // Files dropped anywhere on the window go the window's way: a text field would otherwise
    // take a dragged file as its path text (and a package dropped on its own field would not be
    // imported). Drags of plain text are left to the fields.
    if (watched != this && (event->type() == QEvent::DragEnter ||
                            event->type() == QEvent::DragMove || event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);  // the drag events derive from it
        if (drop->mimeData() && drop->mimeData()->hasUrls()) {
            if (event->type() == QEvent::Drop)
                dropEvent(drop);
            else
                drop->acceptProposedAction();
            return true;
        }
    }
    if (list_ && watched == list_->viewport()) {
        if (event->type() == QEvent::Resize) {
            apply_column_rule();
        } else if (event->type() == QEvent::MouseButtonPress ||
                   event->type() == QEvent::MouseButtonDblClick) {
            auto* me = static_cast<QMouseEvent*>(event);
            const QModelIndex index = list_->indexAt(me->position().toPoint());
            const int row = index.isValid() ? index.row() : -1;
            const bool dbl = event->type() == QEvent::MouseButtonDblClick;
            if (me->button() == Qt::RightButton) {
                if (dbl)
                    on_row_right_double_click(row);
                else
                    on_row_right_click(row);
                return true;
            }
            if (me->button() == Qt::LeftButton && dbl) on_row_double_click(row);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CQuillonDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F1) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);  // Escape ends in reject(), which is EXIT
}

void CQuillonDlg::reject() { on_exit(); }

void CQuillonDlg::closeEvent(QCloseEvent* event) {
    // The close box is EXIT: it may ask first, and No keeps the window.
    if (ctl_->confirm_exit())
        event->accept();
    else
        event->ignore();
}

void CQuillonDlg::apply_column_rule() {
    if (!list_) return;
    columns_capped_ = true;
    const auto widths = column_widths(list_->viewport()->width(), true);
    for (int c = 0; c < kColumns; ++c) list_->horizontalHeader()->resizeSection(c, widths[c]);
}

void CQuillonDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QStringLiteral("关于 Quillon(&A)..."));
    about->setObjectName(QStringLiteral("about_action"));
    connect(about, &QAction::triggered, this, &CQuillonDlg::show_about);
    menu.exec(event->globalPos());
}

namespace {
class DlgUrlOpener final : public UrlOpener {
public:
    explicit DlgUrlOpener(std::function<void(const std::string&)> open) : open_(std::move(open)) {}
    void open_url(const std::string& url) override { open_(url); }

private:
    std::function<void(const std::string&)> open_;
};
}  // namespace

void CQuillonDlg::show_user_report() {
    DlgUrlOpener opener([this](const std::string& url) { open_url(url); });
    ShowUserReport(opener);
}

void CQuillonDlg::show_about() {
    CAboutDlg about(this);
    about.exec();
}

// ---------------- dialogs and the desktop ----------------

bool CQuillonDlg::msg_box(const std::string& text, MsgKind kind) {
    if (kind == MsgKind::question) {
        return QMessageBox::question(this, QStringLiteral("Upgrade"), q(text),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    QMessageBox::information(this, QStringLiteral("Upgrade"), q(text), QMessageBox::Ok);
    return true;
}

std::string CQuillonDlg::open_file_dialog(const std::string& filter) {
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), q(filter),
                                                      nullptr, QFileDialog::ReadOnly);
    return path.toStdString();
}

void CQuillonDlg::open_url(const std::string& url) { QDesktopServices::openUrl(QUrl(q(url))); }

void CQuillonDlg::start_ping(const std::string& ip) {
    // Runs on its own; the window keeps serving its commands and the workers' requests.
    auto* w = new PingWindow(q(ip), this);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->start();
}

// ---------------- texts and start-up states ----------------

void CQuillonDlg::apply_texts() {
    setWindowTitle(q(TextId::title));
    zip_check_->setText(q(TextId::zip_check));
    slot_check_[0]->setText(q(TextId::image1_check));
    slot_check_[1]->setText(q(TextId::image2_check));
    slot_check_[2]->setText(q(TextId::image3_check));
    slot_check_[3]->setText(q(TextId::image4_check));
    zip_path_->setText(q(TextId::zip_hint));
    worker_label_->setText(q(TextId::worker_label));
    start_->setText(q(TextId::start_button));
    search_->setText(q(TextId::search_button));
    exit_->setText(q(TextId::exit_button));
    clean_->setText(q(TextId::clean_button));
    range_box_->setText(q(TextId::range_check));
    auto_retry_->setText(q(TextId::retry_check));
    select_all_->setText(q(TextId::select_all_check));
    model_->refresh_headers();
}

void CQuillonDlg::init_controls() { ctl_->init_controls(); }

void CQuillonDlg::set_adapters(const std::vector<std::string>& names,
                               const std::vector<std::string>& ips) {
    ctl_->set_adapters(names, ips);
}

void CQuillonDlg::set_bind_addr(const std::string& dotted) { ctl_->set_bind_addr(dotted); }

}  // namespace quillon
