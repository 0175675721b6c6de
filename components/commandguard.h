// Where a user command starts: an engine error met by the command (a
// damaged file, a file held by another program, a failed write) becomes one
// "Error" box and the command ends; the program goes on.
#pragma once

#include <QString>

#include <functional>
#include <initializer_list>

#include <xbase.h>

#include "prompts.h"

class QWidget;

namespace command {

// Runs `command`. When it throws xbase::Error, the error is shown in one
// "Error" box through `prompts` (parent `parent`), every table of `tables`
// that is being edited or inserted is cancelled back to Browse, and the data
// controls of each are resumed as far as the command suspended them. Returns
// false then, true when the command ran to its end. Any other exception is
// not an engine error and passes on unchanged.
bool Run(prompts::Prompts& prompts, QWidget* parent, std::initializer_list<xbase::Table*> tables,
         const std::function<void()>& command);

// The box text of an engine error: its message (which names the file), as a
// sentence.
QString ErrorText(const std::exception& error);
QString ErrorText(const QString& message);

}  // namespace command
