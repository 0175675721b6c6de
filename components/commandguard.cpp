#include "commandguard.h"

#include <vector>

namespace command {

QString ErrorText(const std::exception& error) { return ErrorText(QString::fromUtf8(error.what())); }

QString ErrorText(const QString& message) {
  QString text = message.trimmed();
  if (text.isEmpty()) return QStringLiteral("The database could not be read or written.");
  text[0] = text[0].toUpper();
  if (text.back().isLetterOrNumber() || text.back() == u'"') text += u'.';
  return text;
}

bool Run(prompts::Prompts& prompts, QWidget* parent, std::initializer_list<xbase::Table*> tables,
         const std::function<void()>& command) {
  // Whether each table's controls were already suspended when the command
  // started: only a suspension the command itself made is undone.
  std::vector<bool> wasSuspended;
  wasSuspended.reserve(tables.size());
  for (xbase::Table* t : tables) wasSuspended.push_back(t && t->ControlsDisabled());
  try {
    command();
    return true;
  } catch (const xbase::Error& e) {
    size_t i = 0;
    for (xbase::Table* t : tables) {
      bool before = wasSuspended[i++];
      if (!t) continue;
      try {
        if (t->GetState() == xbase::State::Edit || t->GetState() == xbase::State::Insert) t->Cancel();
      } catch (const xbase::Error&) {
        // Cancelling only drops the edit buffer; a failed re-read of the
        // record leaves nothing half written.
      }
      if (!before) {
        while (t->ControlsDisabled()) {
          try {
            t->EnableControls();
          } catch (const xbase::Error&) {
            // The resumed controls re-read the record and met the same
            // damage; the record view reports it itself.
          }
        }
      }
    }
    prompts.Message(parent, prompts::Kind::Error, ErrorText(e));
    return false;
  }
}

}  // namespace command
