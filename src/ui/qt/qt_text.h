// Text between the logic's UTF-8 std::string and Qt's QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace quorvix {

inline QString Qt8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace quorvix
