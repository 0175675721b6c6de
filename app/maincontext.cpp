#include "maincontext.h"

#include "commandguard.h"
#include "datamodule.h"

bool MainContext::Run(const std::function<void()>& command) const {
  return command::Run(prompts::Current(), boxParent, {&dm.ApTable1, &dm.ApTable2}, command);
}

void MainContext::Tell(prompts::Kind kind, const QString& text) const {
  prompts::Current().Message(boxParent, kind, text);
}
