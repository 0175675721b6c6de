// An edit box that takes no more text than a character field stores. The
// fields hold UTF-8 bytes, not characters: an edit box's own maximum length
// would let 80 characters of a script of 3-byte letters through, which the
// field then cuts to 26. This validator stops taking characters when the
// bytes are full, whole characters only, for typing and pasting alike: of a
// paste that does not fit, the part that fits is kept.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace fieldlimit {

// The length of the text in UTF-8 bytes, as a field stores it.
int Utf8Bytes(const QString& text);

class TUtf8Limit : public QValidator {
 public:
  TUtf8Limit(int bytes, QObject* parent = nullptr) : QValidator(parent), bytes_(bytes) {}
  int Bytes() const { return bytes_; }
  // Text that fits is acceptable. Text that does not loses whole characters
  // just before the caret (what was typed or pasted last) until it fits.
  State validate(QString& input, int& pos) const override;

 private:
  int bytes_;
};

// Limits `edit` to `bytes` UTF-8 bytes.
void LimitBytes(QLineEdit* edit, int bytes);

}  // namespace fieldlimit
