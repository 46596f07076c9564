// Pieces of glint's console transcript, built from its own texts, for the
// tests that compare whole dialogues.
#pragma once

#include <string>

#include "messages.h"

namespace transcript {

// A text followed by the line end that std::endl writes.
inline std::string line(const char* text) { return std::string(text) + "\n"; }

inline const std::string kTitleLine = line(glint::msg::kTitle);
inline const std::string kMenu = line(glint::msg::kMenuHide) + line(glint::msg::kMenuRecover) +
                                 line(glint::msg::kMenuQuit);
// What every run shows before its first read.
inline const std::string kStart = kTitleLine + kMenu;

}  // namespace transcript
