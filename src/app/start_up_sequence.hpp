#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/qt_main_thread.hpp"
#include "catalog/cataloger.hpp"

class QDialog;

namespace twinlens {

class ActivityIndicator;
class AppController;
class Defaults;

// The way to a scan and back: finds the library (iPhoto's RootDirectory, else one the user
// picks), asks to quit iPhoto while its catalogue file is read and waits for it to go, scans,
// and on the scan's end shows the results or its failure, falling back once from asking iPhoto
// to reading the file. A folder of photos given to it is scanned straight away, iPhoto left
// alone. It is the Cataloger's delegate; the window it works on belongs to the
// AppController. Main thread only.
class StartUpSequence final : public QObject, public CatalogerDelegate {
  Q_OBJECT

 public:
  StartUpSequence(AppController& app, QtMainThread& mainThread, std::shared_ptr<Defaults> defaults,
                  std::shared_ptr<Cataloger> cataloger, std::function<bool()> isIPhotoRunning);

  // One step of the sequence; a step that waits for the user returns, and its answer calls
  // startUp() again.
  void startUp();
  // A folder holding "AlbumData.xml" becomes iPhoto's library for this run, any other is scanned
  // as a folder of photos from now on; the next startUp() begins anew.
  void setFolderToScan(const std::string& path);
  std::uint32_t state() const { return state_; }
  bool scanning() const { return scanning_; }
  // True when a scan still runs: it is cancelled, and its end quits instead.
  bool deferQuitToScanEnd();
  QDialog& quittingIPhotoWindow() const { return *quittingIPhotoWindow_; }

  void catalogingDidSucceed(std::uint64_t photoCount) override;
  void catalogingDidFail(const ErrorRecord& error) override;

 private:
  std::optional<std::string> chooseLibrary();
  bool iPhotoIsRunning() const;
  void quitIPhotoSheetDidEnd(bool quitIPhoto);
  void quitIPhotoAndScan();
  void pollIPhotoGone();
  // Empties the browser, whose results the scan replaces, and starts the scan.
  void startScan();

  AppController& app_;
  QtMainThread& mainThread_;
  std::shared_ptr<Defaults> defaults_;
  std::shared_ptr<Cataloger> cataloger_;
  std::function<bool()> isIPhotoRunning_;
  QDialog* quittingIPhotoWindow_ = nullptr;
  ActivityIndicator* quittingIPhotoProgress_ = nullptr;
  QTimer quitPollTimer_;
  std::optional<std::string> folder_;
  std::uint32_t state_ = 0;
  bool scanning_ = false;
  bool quitRequested_ = false;
};

}  // namespace twinlens
