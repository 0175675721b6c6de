#include "windowoptions.h"

#include "settings.h"

TWindowOptions::TWindowOptions(TSettings& settings, OptionsView& view) : settings_(settings), view_(view) {}

void TWindowOptions::Load() {
  hints_ = settings_.Read(settings::kHints);
  combined_ = settings_.Read(settings::kCmbCLES);
  if (combined_) view_.PlaceCombinedButton(true);
  keepOnTop_ = settings_.Read(settings::kKeepOnTop);
  flatButtons_ = settings_.Read(settings::kFlatBtns);
  if (keepOnTop_) view_.SetKeepOnTop(true);
  keepPosition_ = settings_.Read(settings::kPosition);
  trayIcon_ = settings_.Read(settings::kTryIcn);
}

void TWindowOptions::mnuHintsClick(bool on) {
  hints_ = on;
  settings_.Write(settings::kHints, on);
}

void TWindowOptions::mnuCmbCrLfExtrSpcClick(bool on) {
  combined_ = on;
  view_.PlaceCombinedButton(on);
  settings_.Write(settings::kCmbCLES, on);
}

void TWindowOptions::mnuKeepOnTopClick(bool on) {
  keepOnTop_ = on;
  view_.SetKeepOnTop(on);
  settings_.Write(settings::kKeepOnTop, on);
}

void TWindowOptions::mnuKeepPosClick(bool on) {
  keepPosition_ = on;
  settings_.Write(settings::kPosition, on);
}

void TWindowOptions::mnuTrayIconClick(bool on) {
  trayIcon_ = on;
  settings_.Write(settings::kTryIcn, on);
}

void TWindowOptions::mnuFlatBtnsClick(bool on) {
  flatButtons_ = on;
  view_.ApplyFlatButtons();
  settings_.Write(settings::kFlatBtns, on);
}
