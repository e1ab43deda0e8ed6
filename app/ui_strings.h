#pragma once

// Every text the window shows, in UTF-8, word for word.
namespace dm::ui {

// Main dialog.
inline constexpr const char* kDialogCaption = "Datamatrix编解码软件";
inline constexpr const char* kEncodeGroup = "Datamatrix条码生成";
inline constexpr const char* kEncodeInstruction =
    "如果您想进行编码测试，请在下面的输入框中输入您要编码的内容，编码的结果会自动显示及保存。";
inline constexpr const char* kModuleSizeLabel = "单模块大小：";
inline constexpr const char* kQuietZoneLabel = "白边大小：";
inline constexpr const char* kFolderLabel = "保存目录：";
inline constexpr const char* kChangeFolder = "更改";
inline constexpr const char* kFileNameLabel = "文件名：";
inline constexpr const char* kGenerateButton = "生成条码";
inline constexpr const char* kDecodeGroup = "Datamatrix解码";
inline constexpr const char* kDecodeInstruction =
    "如果您想进行解码测试，请事先安装好图像输入设备。";
inline constexpr const char* kHelpLink = "获取更多帮助";
inline constexpr const char* kPixelItems[9] = {"1个像素", "2个像素", "3个像素",
                                               "4个像素", "5个像素", "6个像素",
                                               "7个像素", "8个像素", "9个像素"};
inline constexpr const char* kQuietZonePrompt = "请选择条码白边大小";
inline constexpr const char* kModuleSizePrompt = "请选择单个模块大小";
inline constexpr const char* kDefaultFileName = "条码测试.jpg";
inline constexpr const char* kAboutMenuItem = "关于 TarvexDatamatrix测试程序(&A)...";
inline constexpr const char* kChooseFolderTitle = "选择文件夹";

// The window's own views beyond the original dialog: its context menu, picture decoding and
// the detection caption under the video.
inline constexpr const char* kOpenPictureMenuItem = "打开图片解码…";
inline constexpr const char* kShowDetectionMenuItem = "显示检测结果";
inline constexpr const char* kCopyResultMenuItem = "复制解码结果";
inline constexpr const char* kOpenPictureTitle = "选择要解码的图片";
inline constexpr const char* kPictureFilter = "图片 (*.png *.jpg *.jpeg *.bmp)";
inline constexpr const char* kPictureUnreadableText = "无法读取这个图片文件。";
inline constexpr const char* kDecodedCaption = "解码成功：%1";            // %1: size, 12x12
inline constexpr const char* kGradeCaption = "，等级 %1（%2，参考）";     // %1 A-F, %2 4.0
inline constexpr const char* kFailedCaption = "解码失败（状态 %1）：%2";  // %1 value, %2 meaning
// Several symbols read: the caption gives their count, the result box numbers their texts in
// reading order and then says what became of each Structured Append series among them.
inline constexpr const char* kAllSymbolsMenuItem = "解码所有符号";    // the camera, every frame
inline constexpr const char* kSymbolsCaption = "解码成功：%1个符号";  // %1 count
// Every camera frame decoded on a worker instead of ten a second; the caption's rate.
inline constexpr const char* kEveryFrameMenuItem = "逐帧解码";
inline constexpr const char* kDecodeRateCaption = "，每秒解码 %1 帧";       // %1 frames a second
inline constexpr const char* kNumberedText = "%1: %2";                      // %1 number, %2 text
inline constexpr const char* kSeriesJoined = "结构追加（共%1个符号）：%2";  // %2 joined text
inline constexpr const char* kSeriesNotJoined = "结构追加（共%1个符号）未能连接：%2";
inline constexpr const char* kSeriesMissing = "缺少第%1个";  // %1 positions, 2、5
inline constexpr const char* kSeriesConflicting = "第%1个有两个不同的符号";
inline constexpr const char* kListSeparator = "、";
inline constexpr const char* kClauseSeparator = "；";
// What each decoder status means, by its value (7 and 8 are not used).
inline constexpr const char* kStatusMeanings[15] = {
    "数据解码失败",
    "解码成功",
    "内存不足",
    "没有可解码的图像",
    "符号尺寸超出范围",
    "纠错块无法处理",
    "错误过多，无法纠正",
    "",
    "",
    "未找到寻像图形",
    "未找到寻像图形（只确认了一条边）",
    "寻像图形超出图像或边太短",
    "模块数不符合任何符号尺寸",
    "无法跟踪定时图形或模块网格",
    "对齐线的模块数不对",
};

// Notices.
inline constexpr const char* kCameraNoticeCaption = "编解码测试";
inline constexpr const char* kCameraNoticeText = "启动摄像头失败，请检查图像输入设备是否准备好。";
inline constexpr const char* kLongTextCaption = "TarvexQR码编解码测试";
inline constexpr const char* kLongTextText = "如果输入的信息过长，可能造成显示问题。";
inline constexpr const char* kFailureCaption = "Zentag";
inline constexpr const char* kFailureText = "生成Zentag失败，请与Tarvex联系。";

// Message dialog.
inline constexpr const char* kMessageDialogCaption = "提示";
inline constexpr const char* kCloseButton = "关   闭";

// About box. The program name and version are those of the help identifier.
inline constexpr const char* kProgramName = "TarvexDatamatrix测试程序";
inline constexpr const char* kProgramVersion = "ver_2010.11.15";
inline constexpr const char* kAboutCaption = "关于 TarvexDatamatrix测试程序";
inline constexpr const char* kOkButton = "确定";

// Help link: the maker's help page with the program identifier as help_id. The host is a
// placeholder under the reserved .example domain until the maker's site is known.
inline constexpr const char* kHelpPage = "https://www.tarvex.example/apphelp.php";
inline constexpr const char* kHelpQueryKey = "help_id";

// Video window.
inline constexpr const char* kVideoWindowName = "Morlin";

// Fonts.
inline constexpr const char* kDialogFontFamily = "WenQuanYi Micro Hei";
inline constexpr int kDialogFontPoints = 9;

}  // namespace dm::ui
