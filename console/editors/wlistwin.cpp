#include "console/editors/wlistwin.h"

namespace console {
namespace {

const ListWindowDesign kWhiteList{
    "wlistwin",
    AdvancedWindow::WhiteList,
    {"Advanced Setting - White List", "高级设置 - 白名单", "高級設置 - 白名單"},
    {"WL_IP", "WL_URL", "WL_EXT", "WL_HOST"},
    {{"IP List", "IP白名单", "IP白名單"},
     {"URL List", "URL白名单", "URL白名單"},
     {"Suffix List", "后缀名白名单", "后綴名白名單"},
     {"Host List", "域名白名单", "域名白名單"}},
    {1005, 1530, 2070, 2595},
    {"Click to Delete:", "点击删除:", "點擊刪除:"},
    true,
};

} // namespace

wlistwin::wlistwin() : ListWindow(kWhiteList) {}

} // namespace console
