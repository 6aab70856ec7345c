// SPDX-License-Identifier: Apache-2.0
// The image slots, the package slot and its import, dropped files.
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <minizip/zip.h>

#include <filesystem>
#include <fstream>

#include "window_fixture.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

// A zip package with the given entries (name -> content).
void write_zip(const std::string& path,
               const std::vector<std::pair<std::string, std::string>>& entries) {
    zipFile z = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, data] : entries) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(z, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(z, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
}

class SlotsTest : public WindowTest {
protected:
    QTemporaryDir tmp;
    std::string dir() { return tmp.path().toStdString(); }

    bool path_enabled(int i) { return enabled(kSlotPath[i]) && enabled(kSlotBrowse[i]); }
};

TEST_F(SlotsTest, PackageBoxTicksAndUnticks) {
    // Unticking the package box: manual mode with all four boxes ticked and fields enabled.
    box(IDC_ZIP_CHECK)->click();
    EXPECT_FALSE(enabled(IDC_ZIP_PATH));
    EXPECT_FALSE(enabled(IDC_ZIP_BROWSE));
    EXPECT_EQ(text_of(IDC_ZIP_PATH), "");
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(box(kSlotCheck[i])->isChecked());
        EXPECT_TRUE(path_enabled(i));
        EXPECT_EQ(text_of(kSlotPath[i]), "");
    }
    edit(IDC_KERNEL_PATH)->setText("/a/kernel.img");

    // Ticking it again: fields emptied and disabled, boxes unticked.
    box(IDC_ZIP_CHECK)->click();
    EXPECT_TRUE(enabled(IDC_ZIP_PATH));
    EXPECT_TRUE(enabled(IDC_ZIP_BROWSE));
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(box(kSlotCheck[i])->isChecked());
        EXPECT_FALSE(path_enabled(i));
        EXPECT_EQ(text_of(kSlotPath[i]), "");
    }
}

TEST_F(SlotsTest, TickingOneImageLeavesPackageMode) {
    // Package mode with imported paths in the fields.
    edit(IDC_ZIP_PATH)->setText("/pkg/fw.zip");
    for (int i = 0; i < 4; ++i) edit(kSlotPath[i])->setText("/pkg/brelk_upgrade_image/x.img");
    box(IDC_KERNEL_CHECK)->click();
    EXPECT_TRUE(box(IDC_KERNEL_CHECK)->isChecked());
    EXPECT_FALSE(box(IDC_ZIP_CHECK)->isChecked());
    EXPECT_EQ(text_of(IDC_ZIP_PATH), "");
    EXPECT_FALSE(enabled(IDC_ZIP_PATH));
    EXPECT_FALSE(enabled(IDC_ZIP_BROWSE));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text_of(kSlotPath[i]), "") << i;  // the emptied package field cleared them
        EXPECT_TRUE(path_enabled(i)) << i;
        EXPECT_EQ(box(kSlotCheck[i])->isChecked(), i == 1) << i;
    }
    // Unticking a slot disables and clears only that slot.
    edit(IDC_KERNEL_PATH)->setText("/a/kernel.img");
    edit(IDC_BOOT_PATH)->setText("/a/boot.img");
    box(IDC_KERNEL_CHECK)->click();
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), "");
    EXPECT_FALSE(path_enabled(1));
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/a/boot.img");
    EXPECT_TRUE(path_enabled(0));
}

TEST_F(SlotsTest, EmptiedPackageFieldEmptiesAndEnablesTheImageFields) {
    edit(IDC_ZIP_PATH)->setText("/pkg/fw.zip");
    edit(IDC_SYSTEM_PATH)->setText("/pkg/brelk_upgrade_image/3_rootfs.img");
    edit(IDC_ZIP_PATH)->setText("");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text_of(kSlotPath[i]), "");
        EXPECT_TRUE(path_enabled(i));
        EXPECT_FALSE(box(kSlotCheck[i])->isChecked());  // boxes untouched
    }
}

TEST_F(SlotsTest, CancelledImportEnablesTheImageFieldsAlsoFromAnEmptyPackageField) {
    box(IDC_ZIP_CHECK)->click();  // untick, then tick again: package mode, both fields empty
    box(IDC_ZIP_CHECK)->click();
    ASSERT_TRUE(box(IDC_ZIP_CHECK)->isChecked());
    ASSERT_EQ(text_of(IDC_ZIP_PATH), "");
    ASSERT_FALSE(path_enabled(0));
    button(IDC_ZIP_BROWSE)->click();  // the dialog is cancelled
    EXPECT_EQ(dlg->filters.size(), 1u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text_of(kSlotPath[i]), "");
        EXPECT_TRUE(path_enabled(i)) << i;
    }
}

TEST_F(SlotsTest, BrowseUsesTheImageFilterAndWritesTheChosenPath) {
    box(IDC_SYSTEM_CHECK)->click();
    dlg->files = {"/fw/3_rootfs.img"};
    button(IDC_SYSTEM_BROWSE)->click();
    EXPECT_EQ(text_of(IDC_SYSTEM_PATH), "/fw/3_rootfs.img");
    ASSERT_EQ(dlg->filters.size(), 1u);
    EXPECT_EQ(dlg->filters[0], "ImageFile(*.img)");
    button(IDC_SYSTEM_BROWSE)->click();  // cancelled: nothing changes
    EXPECT_EQ(text_of(IDC_SYSTEM_PATH), "/fw/3_rootfs.img");

    // The pattern shows once; a description without it gets it appended.
    EXPECT_EQ(qt_file_filter("ZipFile(*.zip)|*.zip||"), "ZipFile(*.zip)");
    EXPECT_EQ(qt_file_filter("\xe9\x95\x9c\xe5\x83\x8f\xe6\x96\x87\xe4\xbb\xb6(*.img)|*.img||"),
              "\xe9\x95\x9c\xe5\x83\x8f\xe6\x96\x87\xe4\xbb\xb6(*.img)");
    EXPECT_EQ(qt_file_filter("A|*.a;*.b|B|*.c||"), "A (*.a *.b);;B (*.c)");
    EXPECT_EQ(qt_file_filter("Other(*.bin)|*.img||"), "Other(*.bin) (*.img)");
}

TEST_F(SlotsTest, ImportFillsTheSlotsAndStartUsesThem) {
    const std::string pkg = dir() + "/fw.zip";
    write_zip(pkg, {{"brelk_upgrade_image/1_uboot.img", "boot"},
                    {"brelk_upgrade_image/2_reboot_kernel.img", "kernel"},
                    {"brelk_upgrade_image/3_rootfs.img", "rootfs"}});
    dlg->files = {pkg};
    button(IDC_ZIP_BROWSE)->click();
    ASSERT_EQ(dlg->filters.size(), 1u);
    EXPECT_EQ(dlg->filters[0], "ZipFile(*.zip)");
    EXPECT_EQ(text_of(IDC_ZIP_PATH), pkg);
    const std::string folder = dir() + "/brelk_upgrade_image";
    EXPECT_EQ(dlg->unzip_dir(), folder);
    EXPECT_EQ(text_of(IDC_BOOT_PATH), folder + "/1_uboot.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), folder + "/2_reboot_kernel.img");
    EXPECT_EQ(text_of(IDC_SYSTEM_PATH), folder + "/3_rootfs.img");
    EXPECT_EQ(text_of(IDC_FW_PATH), "");
    EXPECT_EQ(dlg->reboot_after(), (std::array<int, 4>{0, 1, 0, 0}));
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(path_enabled(i));
    EXPECT_TRUE(dlg->shown.empty());

    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    button(IDC_START)->click();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(engine.last.url[2], folder + "/3_rootfs.img");
    EXPECT_EQ(engine.last.reboot_after[1], 1);

    // EXIT deletes the folder of the last import.
    ASSERT_TRUE(fs::exists(folder));
    engine.running_flag = 0;
    dlg->enter_idle();
    dlg->on_exit();
    EXPECT_FALSE(fs::exists(folder));
}

// A package made by a Chinese Windows tool: the image's name in GBK, the UTF-8 flag clear.
TEST_F(SlotsTest, ImageNamesInTheMakersCodePageReachTheBatchIntact) {
    const std::string pkg = dir() + "/fw.zip";
    write_zip(pkg, {{"brelk_upgrade_image/4_\xc3\xc5\xbf\xda\xbb\xfa.img", "fw"}});
    dlg->files = {pkg};
    button(IDC_ZIP_BROWSE)->click();
    const std::string fw = dir() +
                           "/brelk_upgrade_image/4_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img";
    EXPECT_EQ(text_of(IDC_FW_PATH), fw);
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    button(IDC_START)->click();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(engine.last.url[3], fw);
    EXPECT_TRUE(fs::is_regular_file(engine.last.url[3]));
}

TEST_F(SlotsTest, StartWithoutImagesImportsThePackageAndGoesOn) {
    const std::string pkg = dir() + "/fw.zip";
    write_zip(pkg,
              {{"brelk_upgrade_image/uboot.img", "b"}, {"brelk_upgrade_image/kernel.img", "k"}});
    add_device("10.0.0.1", "aa:00:00:00:00:01", "PANEL");
    dlg->files = {pkg};
    button(IDC_START)->click();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(engine.last.url[0], dir() + "/brelk_upgrade_image/uboot.img");
    EXPECT_EQ(engine.last.url[1], dir() + "/brelk_upgrade_image/kernel.img");
}

TEST_F(SlotsTest, BrokenPackageIsReported) {
    const std::string pkg = dir() + "/bad.zip";
    std::ofstream(pkg) << "not a zip";
    dlg->files = {pkg};
    button(IDC_ZIP_BROWSE)->click();
    EXPECT_EQ(dlg->texts(), std::vector<std::string>{"UnzipFile error."});
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(path_enabled(i));
}

TEST_F(SlotsTest, DroppedImagesGoToTickedSlotsByPosition) {
    box(IDC_ZIP_CHECK)->click();  // manual mode, all four ticked
    box(IDC_KERNEL_CHECK)->click();
    box(IDC_FW_CHECK)->click();
    edit(IDC_KERNEL_PATH)->setEnabled(true);
    edit(IDC_KERNEL_PATH)->setText("keep");
    dlg->on_drop_files({"/d/a.img", "/d/b.txt", "/d/c.img", "/d/d.img", "/d/e.img"});
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/a.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), "keep");
    EXPECT_EQ(text_of(IDC_SYSTEM_PATH), "/d/c.img");
    EXPECT_EQ(text_of(IDC_FW_PATH), "");  // FW unticked; e.img at position 4 is ignored

    // Only lower-case extensions count.
    dlg->on_drop_files({"/d/X.IMG"});
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/a.img");
    // A package among the files ends the drop when the package box is unticked.
    dlg->on_drop_files({"/d/x.img", "/d/y.zip"});
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/a.img");
    // "ZIP" is not a package, so the image pass runs: z.img goes to the ticked SYSTEM slot.
    dlg->on_drop_files({"/d/y.ZIP", "/d/k.img", "/d/z.img"});
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/a.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), "keep");
    EXPECT_EQ(text_of(IDC_SYSTEM_PATH), "/d/z.img");
}

TEST_F(SlotsTest, DroppedPackageIsImportedWithoutADialog) {
    const std::string pkg = dir() + "/fw.zip";
    write_zip(pkg,
              {{"brelk_upgrade_image/1_uboot.img", "boot"}, {"brelk_upgrade_image/2_k.img", "k"}});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(pkg))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg.get(), &drop);
    EXPECT_TRUE(dlg->filters.empty());
    EXPECT_EQ(text_of(IDC_ZIP_PATH), pkg);
    EXPECT_EQ(text_of(IDC_BOOT_PATH), dir() + "/brelk_upgrade_image/1_uboot.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), dir() + "/brelk_upgrade_image/2_k.img");
}

// A file manager offers a dragged file as a URL and as its path text; a line edit would insert
// the text. Each drop here is sent to a field itself, as the window system delivers it.
class FieldDropTest : public SlotsTest {
protected:
    // Drags `paths` over the control `id` and drops them there; true when the field took the drag.
    bool drop_on(int id, const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        QStringList texts;
        for (const std::string& p : paths) {
            urls << QUrl::fromLocalFile(QString::fromStdString(p));
            texts << QString::fromStdString(p);
        }
        mime.setUrls(urls);
        mime.setText(texts.join(QLatin1Char('\n')));
        QWidget* target = ctl(id);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
};

TEST_F(FieldDropTest, APackageDroppedOnThePackageFieldIsImported) {
    const std::string pkg = dir() + "/fw.zip";
    write_zip(pkg,
              {{"brelk_upgrade_image/1_uboot.img", "boot"}, {"brelk_upgrade_image/2_k.img", "k"}});
    edit(IDC_ZIP_PATH)->setText("/old/package.zip");
    EXPECT_TRUE(drop_on(IDC_ZIP_PATH, {pkg}));
    EXPECT_TRUE(dlg->filters.empty()) << "no file dialog for a dropped package";
    EXPECT_EQ(text_of(IDC_ZIP_PATH), pkg);
    EXPECT_EQ(text_of(IDC_BOOT_PATH), dir() + "/brelk_upgrade_image/1_uboot.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), dir() + "/brelk_upgrade_image/2_k.img");
    EXPECT_TRUE(fs::is_regular_file(dir() + "/brelk_upgrade_image/1_uboot.img"));

    // The same on a (disabled) image field of package mode and on the range field.
    const std::string second = dir() + "/sub/fw2.zip";
    fs::create_directories(dir() + "/sub");
    write_zip(second, {{"brelk_upgrade_image/1_b.img", "b"}});
    EXPECT_TRUE(drop_on(IDC_KERNEL_PATH, {second}));
    EXPECT_EQ(text_of(IDC_ZIP_PATH), second);
    EXPECT_EQ(text_of(IDC_BOOT_PATH), dir() + "/sub/brelk_upgrade_image/1_b.img");
    const std::string range_end = text_of(IDC_RANGE_END);
    EXPECT_TRUE(drop_on(IDC_RANGE_END, {pkg}));
    EXPECT_EQ(text_of(IDC_RANGE_END), range_end);
    EXPECT_EQ(text_of(IDC_ZIP_PATH), pkg);
}

TEST_F(FieldDropTest, ImagesDroppedOnAnyFieldGoToTheSlotsByPosition) {
    box(IDC_ZIP_CHECK)->click();  // manual mode, all four ticked
    edit(IDC_FW_PATH)->setText("/fw/keep.img");
    EXPECT_TRUE(drop_on(IDC_FW_PATH, {"/d/a.img", "/d/b.img"}));
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/a.img");
    EXPECT_EQ(text_of(IDC_KERNEL_PATH), "/d/b.img");
    EXPECT_EQ(text_of(IDC_FW_PATH), "/fw/keep.img") << "the field took the paths as text";
    const std::string start = text_of(IDC_RANGE_START);
    EXPECT_TRUE(drop_on(IDC_RANGE_START, {"/d/c.img"}));
    EXPECT_EQ(text_of(IDC_RANGE_START), start);
    EXPECT_EQ(text_of(IDC_BOOT_PATH), "/d/c.img");
}

}  // namespace
}  // namespace quillon::test
