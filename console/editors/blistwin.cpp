#include "console/editors/blistwin.h"

namespace console {
namespace {

const ListWindowDesign kBlackList{
    "blistwin",
    AdvancedWindow::BlackList,
    {"Advanced Setting - Black List", "高级设置 - 黑名单", "高級設置 - 黑名單"},
    {"BL_IP", "BL_URL", "BL_EXT", "BL_HOST"},
    {{"IP List", "IP黑名单", "IP黑名單"},
     {"URL List", "URL黑名单", "URL黑名單"},
     {"Suffix List", "后缀名黑名单", "后綴名黑名單"},
     {"Host List", "域名黑名单", "域名黑名單"}},
    {1005, 1535, 2065, 2595},
    {"Click to Delete：", "点击删除:", "點擊刪除:"},
    false,
};

} // namespace

blistwin::blistwin() : ListWindow(kBlackList) {}

} // namespace console
