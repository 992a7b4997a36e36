#include "window/layouttable.h"

#include "window/windowcontrols.h"

QRect ControlPlace::pixelRect() const
{
    const int k = LayoutTable::kTwipsPerPixel;
    return QRect(left / k, top / k, width / k, height / k);
}

QSize LayoutTable::clientSize()
{
    return QSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
}

const std::vector<ControlPlace> &LayoutTable::controls()
{
    // The colons in the labels are full-width (U+FF1A). The window is Chinese, and
    // so is what a screen reader says of it.
    static const std::vector<ControlPlace> table = {
            {QStringLiteral("Label2"), std::monostate(), QStringLiteral("服务器IP："), 840, 240, 975, 255, 3,
             QStringLiteral("List1")},
            {QStringLiteral("List1"), &WindowControls::serverList, QString(), 1920, 240, 3015, 420, 9},
            {QStringLiteral("Text2"), &WindowControls::requestBox, QStringLiteral("mgr:"), 5160, 240, 1095, 375, 10,
             QStringLiteral("缓存管理请求")},
            {QStringLiteral("Command2"), &WindowControls::statusButton, QStringLiteral("查看状态"), 7320, 240, 1335,
             375, 5},
            {QStringLiteral("Label3"), std::monostate(), QStringLiteral("服务器IP："), 9480, 240, 1095, 255, 6,
             QStringLiteral("Text4")},
            {QStringLiteral("Text4"), &WindowControls::newServerBox, QString(), 10440, 120, 2415, 375, 7},
            {QStringLiteral("Command3"), &WindowControls::addButton, QStringLiteral("添加"), 13080, 120, 735, 375, 8},
            {QStringLiteral("Label1"), std::monostate(), QStringLiteral("网址："), 840, 840, 855, 375, 1,
             QStringLiteral("Text1")},
            {QStringLiteral("Text1"), &WindowControls::urlBox, QString(), 1920, 840, 5295, 2175, 0},
            {QStringLiteral("Command1"), &WindowControls::purgeButton, QStringLiteral("更新缓存"), 7440, 1560, 975, 495,
             2},
            {QStringLiteral("Text3"), &WindowControls::outputBox, QString(), 120, 3240, 13575, 4815, 4,
             QStringLiteral("输出")},
    };
    return table;
}
