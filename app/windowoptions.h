// The Options menu's switches of the window itself: help hints, the
// combined clean-up button, keep on top, keep position and size, the tray
// icon and flat buttons. Each is kept in the settings when it changes.
#pragma once

class TSettings;

// What the switches change on the window.
class OptionsView {
 public:
  virtual ~OptionsView() = default;
  // One "CR+SP" button in place of the two clean-up buttons.
  virtual void PlaceCombinedButton(bool combined) = 0;
  virtual void SetKeepOnTop(bool on) = 0;
  // The window's tool buttons follow the Flat Buttons switch.
  virtual void ApplyFlatButtons() = 0;
};

class TWindowOptions {
 public:
  TWindowOptions(TSettings& settings, OptionsView& view);

  // The switches as the settings hold them; the combined button and keep
  // on top take effect.
  void Load();

  bool Hints() const { return hints_; }
  bool Combined() const { return combined_; }
  bool KeepOnTop() const { return keepOnTop_; }
  bool KeepPosition() const { return keepPosition_; }
  bool TrayIcon() const { return trayIcon_; }
  bool FlatButtons() const { return flatButtons_; }

  void mnuHintsClick(bool on);
  void mnuCmbCrLfExtrSpcClick(bool on);
  void mnuKeepOnTopClick(bool on);
  void mnuKeepPosClick(bool on);
  void mnuTrayIconClick(bool on);
  void mnuFlatBtnsClick(bool on);

 private:
  TSettings& settings_;
  OptionsView& view_;
  bool hints_ = true, combined_ = false, keepOnTop_ = false, keepPosition_ = false, trayIcon_ = false,
       flatButtons_ = false;
};
