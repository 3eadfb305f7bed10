#include "widgets/tabs/tab_region_cache.h"

#include "widgets/tabs/tab_types.h"

const TRegion* TClTabRegionCache::FindTabRegion(const TRect& R) const {
  for (const auto& item : FItems)
    if (item->TabRect == R) return item->TabRegion();
  return nullptr;
}

void TClTabRegionCache::CacheTabRegion(const TRect& R, std::unique_ptr<TRegion> Region) {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i]->TabRect == R) {
      auto item = std::move(FItems[i]);
      FItems.erase(FItems.begin() + std::ptrdiff_t(i));
      FItems.insert(FItems.begin(), std::move(item));
      return;
    }
  }
  auto item = std::make_unique<TClTabRegionCacheItem>();
  item->TabRect = R;
  item->SetTabRegion(std::move(Region));
  FItems.insert(FItems.begin(), std::move(item));
  Trim();
}

void TClTabRegionCache::SetCacheCapacity(Integer N) {
  if (N < -1 || N == 0) throw EClTabControlError("Capacity must be -1 (to cache all regions) or > 0");
  if (N == FCapacity) return;
  FCapacity = N;
  Trim();
}

void TClTabRegionCache::Trim() {
  if (FCapacity == -1) return;
  while (Integer(FItems.size()) > FCapacity) FItems.pop_back();
}
