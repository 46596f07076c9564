// Pieces of glint's console transcript, built from its own texts, for the
// tests that compare whole dialogues.
#pragma once

#include <filesystem>
#include <string>

#include "messages.h"
#include "test_support.h"

namespace transcript {

// A text followed by the line end that std::endl writes.
inline std::string line(const char* text) { return std::string(text) + "\n"; }

inline const std::string kTitleLine = line(glint::msg::kTitle);
inline const std::string kMenu = line(glint::msg::kMenuHide) + line(glint::msg::kMenuRecover) +
                                 line(glint::msg::kMenuQuit);
// What every run shows before its first read.
inline const std::string kStart = kTitleLine + kMenu;

// Writes the cover.bmp and secret.bin of the dialogue below into `folder`;
// returns the secret.
inline testing_support::Bytes writeCoverAndSecret(const std::filesystem::path& folder) {
    testing_support::BmpFields fields;
    fields.data = testing_support::patternBytes(4000, 7);
    testing_support::writeFile(folder / "cover.bmp", testing_support::makeBmp(fields));
    const testing_support::Bytes secret = testing_support::patternBytes(200, 8);
    testing_support::writeFile(folder / "secret.bin", secret);
    return secret;
}

// The dialogue on a terminal: each text the program shows, in UTF-8 (this
// file's own encoding) and in GBK, and what is typed once it has appeared
// (the Enter key sends a carriage return).
// It hides secret.bin in cover.bmp as stego.bmp and recovers it as back.bin.
struct Step {
    const char* utf8;
    const char* gbk;
    const char* typed;
};

inline const Step kHideAndRecover[] = {
    {"GLINT信息隐藏", glint::msg::kTitle, nullptr},
    {" 1.加密.bmp文件", glint::msg::kMenuHide, nullptr},
    {" 2.解密.bmp文件", glint::msg::kMenuRecover, nullptr},
    {" 3.退出", glint::msg::kMenuQuit, "1\r"},
    {"输入原始bmp文件名：", glint::msg::kAskSourceImage, "cover.bmp\r"},
    {"载入成功！", glint::msg::kLoadSucceeded, nullptr},
    {"输入要加密的文本文件名：", glint::msg::kAskPayload, "secret.bin\r"},
    {"信息隐藏成功", glint::msg::kHideSucceeded, nullptr},
    {"新bmp文件保存为：", glint::msg::kAskOutputImage, "stego.bmp\r"},
    {"文件保存成功", glint::msg::kSaveSucceeded, nullptr},
    {" 3.退出", glint::msg::kMenuQuit, "2\r"},
    {"输入要解密的BMP文件名：", glint::msg::kAskStegoImage, "stego.bmp\r"},
    {"载入成功！", glint::msg::kLoadSucceeded, nullptr},
    {"密文文本保存为：", glint::msg::kAskRecoveredFile, "back.bin\r"},
    {"解码成功", glint::msg::kDecodeSucceeded, nullptr},
    {" 3.退出", glint::msg::kMenuQuit, "3\r"},
    {"请按任意键继续. . .", glint::msg::kPressAnyKey, "x"},
};

}  // namespace transcript
