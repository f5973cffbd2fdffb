#include "ui/qt/operator_text.h"

#include <QStringDecoder>

namespace quib {

QString OperatorText(const std::string& text) {
  // ASCII reads the same either way; only a path with accents needs UTF-8,
  // and a stray protocol byte above 0x7F is rarely valid UTF-8.
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace quib
