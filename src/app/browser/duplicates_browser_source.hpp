#pragma once

#include <functional>
#include <memory>

#include "app/browser/image_browser_view.hpp"
#include "catalog/cataloger.hpp"

namespace twinlens {

// The browser's data source over the Cataloger's results: its items, one grey group per
// duplicate set, the indexes of every duplicate, and each item's details (file, size, date,
// pixel size, why it matched). While a scan is replacing the results it
// shows nothing, since the results are not to be read then. Main thread only.
class DuplicatesBrowserSource final : public ImageBrowserDataSource {
 public:
  DuplicatesBrowserSource(std::shared_ptr<const Cataloger> cataloger,
                          std::function<bool()> scanning)
      : cataloger_(std::move(cataloger)), scanning_(std::move(scanning)) {}

  std::size_t numberOfItemsInImageBrowser(ImageBrowserView& browser) override;
  const Thumbnail& imageBrowserItemAtIndex(ImageBrowserView& browser, std::size_t index) override;
  std::size_t numberOfGroupsInImageBrowser(ImageBrowserView& browser) override;
  ImageBrowserGroup imageBrowserGroupAtIndex(ImageBrowserView& browser, std::size_t index) override;
  IndexSet duplicatesIndexSet() override;
  // The matching file's path; its recorded size, the photo's date and the image's pixel size
  // (read from its header); and "kept photo", "same file" or "same picture, other metadata".
  QString imageBrowserItemDetailsAtIndex(ImageBrowserView& browser, std::size_t index) override;

 private:
  std::shared_ptr<const Cataloger> cataloger_;
  std::function<bool()> scanning_;
};

}  // namespace twinlens
