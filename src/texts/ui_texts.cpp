// SPDX-License-Identifier: Apache-2.0
#include "texts/ui_texts.h"

namespace quillon {

namespace {

struct Entry {
    TextId id;
    const char* zh;
    const char* en;
};

// Every text of the interface, in the order of TextId. UTF-8; "：" is the full-width colon and
// belongs to the text where it stands.
constexpr Entry kEntries[] = {
    {TextId::title, "Quillon", "Quillon"},
    {TextId::image4_check, "IMAGE4：", "FW："},
    {TextId::image3_check, "IMAGE3：", "SYSTEM："},
    {TextId::image2_check, "IMAGE2：", "KERNEL："},
    {TextId::image1_check, "IMAGE1：", "BOOT："},
    {TextId::zip_check, "IMGZIP：", "IMGZIP："},
    {TextId::zip_hint, "*** 选中压缩包后将自动填充各镜像路径 ***",
     "* After selecting the compressed package, all image paths will be automatically populated *"},
    {TextId::worker_label, "线程：", "Status:"},
    {TextId::start_button, "升级", "START"},
    {TextId::search_button, "查找", "SEARCH"},
    {TextId::exit_button, "退出", "EXIT"},
    {TextId::range_check, "搜索IP：", "IP Range:"},
    {TextId::clean_button, "清空", "CLEAN"},
    {TextId::stop_button, "停止", "STOP"},
    {TextId::retry_check, "自动重试", "Auto retry"},
    {TextId::select_all_check, "全选", "All"},
    {TextId::threads_prefix, "并发数", "Threads"},
    {TextId::col_id, "编号", "ID"},
    {TextId::col_ip, "IP地址", "IP"},
    {TextId::col_devid, "设备ID", "DEVID"},
    {TextId::col_mac, "MAC地址", "MAC"},
    {TextId::col_type, "设备类型", "TYPE"},
    {TextId::col_status, "状态", "STAT"},
    {TextId::col_begin, "起始时间", "BEGIN TIME"},
    {TextId::col_version, "版本", "VERSION"},
    {TextId::col_percent, "进度", "PERCENT"},
    {TextId::col_elapsed, "时长", "ELAPSED TIME"},
    {TextId::img_filter, "镜像文件(*.img)|*.img||", "ImageFile(*.img)|*.img||"},
    {TextId::zip_filter, "压缩文件(*.zip)|*.zip||", "ZipFile(*.zip)|*.zip||"},
    {TextId::msg_busy, "正在升级中，请勿操作!", "Upgrading, do not click!"},
    {TextId::msg_image_bad, "镜像文件错误!", "Image check failed!"},
    {TextId::msg_list_empty, "设备列表空，请先查找设备或勾选IP搜索！",
     "No device selected. Please search for devices or select an IP range first"},
    {TextId::msg_none_ticked, "未选中设备,请先勾选设备！",
     "No device selected. Please select a device first."},
    {TextId::st_lost, "连接断开", "Connection lost"},
    {TextId::st_success, "成功", "success"},
    {TextId::st_failure, "失败", "failure"},
    {TextId::st_running, "运行中", "running"},
    {TextId::st_ready, "就绪", "Ready"},
    {TextId::st_connecting, "连接中", "connecting"},
    {TextId::msg_bad_range, "IP地址错误，请设置好区间！",
     "IP address is wrong, please set the interval"},
    {TextId::msg_batch_done, "批量升级处理结束！", "The bulk upgrade process stop !"},
    {TextId::msg_batch_stopped, "批量升级处理被终止！", "The bulk upgrade process terminate !"},
    {TextId::ask_stop_after, "在当前设备升级结束后，是否终止批量升级过程?",
     "After the current device upgrade is complete, do you want to terminate the bulk upgrade process?"},
    {TextId::ask_force_stop, "是否强行终止升级过程?（设备可能失联）",
     "Should the upgrade process be forcibly terminated? (The device may become unreachable)"},
    {TextId::ph_image, "镜像", "image"},
    {TextId::ph_sending, "发送中", "sending"},
    {TextId::ph_burning, "烧写中", "burning"},
    {TextId::ph_finish, "完成", "finish"},
    {TextId::type_all, "所有设备", "ALL"},
    {TextId::type_panel, "单元门口机", "PANEL"},
    {TextId::type_wall, "围墙机", "WALL"},
    {TextId::type_monitor, "室内机", "MONITOR"},
    {TextId::type_person, "小门口机", "PERSON"},
    {TextId::type_center, "管理机", "CENTER"},
    {TextId::type_lift, "梯控", "LIFT"},
    {TextId::type_other, "其他", "OTHER"},
    {TextId::msg_echo_unavailable,
     "无法发送ICMP回显请求：本程序需要CAP_NET_RAW权限（或所属用户组在net.ipv4.ping_group_range之内）才能搜索IP区间。请以该权限运行，或改用查找设备。",
     "ICMP echo cannot be sent: this program needs the capability CAP_NET_RAW (or a group "
     "inside net.ipv4.ping_group_range) to probe an address range. Run it with that "
     "capability, or search for the devices instead."},
    // A device that did not answer again within the come-back limit after its reboot.
    {TextId::st_not_back, "未上线", "not back"},
    // The status line while the end of a batch waits for rebooted devices; %d is their number.
    {TextId::st_awaiting, "等待 %d 台设备重启上线", "Waiting for %d device(s) to come back"},
    // At start-up, when the newest batch journal has no end (the batch died); %d is the number
    // of listed devices it shows upgraded, which are left unticked.
    {TextId::msg_unfinished_batch, "上次批量升级未完成：已升级的 %d 台设备未勾选。",
     "The last batch did not finish: %d device(s) already upgraded are not ticked."},
};

constexpr bool entries_in_id_order() {
    int i = 0;
    for (const Entry& e : kEntries)
        if (static_cast<int>(e.id) != i++) return false;
    return i == static_cast<int>(TextId::count_);
}
static_assert(entries_in_id_order(), "one entry per TextId, in the order of the enum");

}  // namespace

void UiTexts::fill(bool english) {
    for (const Entry& e : kEntries) texts_[static_cast<int>(e.id)] = english ? e.en : e.zh;
    english_ = english;
}

void UiTexts::apply_language() { fill(use_english || !system_locale_is_zh_cn()); }

UiTexts& ui_texts() {
    static UiTexts table;
    return table;
}

}  // namespace quillon
