#include "app/browser/duplicates_browser_source.hpp"

namespace twinlens {

namespace {
const QColor kGroupBackground(0xdc, 0xdc, 0xdc);
}

std::size_t DuplicatesBrowserSource::numberOfItemsInImageBrowser(ImageBrowserView&) {
  return scanning_() ? 0 : cataloger_->thumbnails().size();
}

const Thumbnail& DuplicatesBrowserSource::imageBrowserItemAtIndex(ImageBrowserView&,
                                                                  std::size_t index) {
  return cataloger_->thumbnails().at(index);
}

std::size_t DuplicatesBrowserSource::numberOfGroupsInImageBrowser(ImageBrowserView&) {
  return scanning_() ? 0 : cataloger_->duplicateGroups().size();
}

ImageBrowserGroup DuplicatesBrowserSource::imageBrowserGroupAtIndex(ImageBrowserView&,
                                                                    std::size_t index) {
  return ImageBrowserGroup{0, kGroupBackground, cataloger_->duplicateGroups().at(index)};
}

IndexSet DuplicatesBrowserSource::duplicatesIndexSet() {
  return scanning_() ? IndexSet() : cataloger_->duplicatesIndexSet();
}

}  // namespace twinlens
