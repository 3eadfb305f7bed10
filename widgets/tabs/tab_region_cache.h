// Most-recently-used cache of tab outline regions keyed by the tab's rectangle, so that a tab
// whose shape has not changed is not turned into a region again at every paint.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/graphics.h"

class TClTabRegionCacheItem : public TObject {
 public:
  TRect TabRect = {-1, -1, -1, -1};
  const TRegion* TabRegion() const { return FRegion.get(); }
  virtual void SetTabRegion(std::unique_ptr<TRegion> Region) { FRegion = std::move(Region); }

 private:
  std::unique_ptr<TRegion> FRegion;
};

class TClTabRegionCache : public TObject {
 public:
  // The newest entry for this rectangle, or nil.
  const TRegion* FindTabRegion(const TRect& R) const;
  // A rectangle already cached moves to the front and keeps its region; Region is dropped.
  void CacheTabRegion(const TRect& R, std::unique_ptr<TRegion> Region);
  void ClearTabRegions() { FItems.clear(); }
  Integer Capacity() const { return FCapacity; }
  // -1 keeps every region; 0 and values below -1 raise EClTabControlError.
  void SetCacheCapacity(Integer N);
  Integer Count() const { return Integer(FItems.size()); }

 private:
  void Trim();
  std::vector<std::unique_ptr<TClTabRegionCacheItem>> FItems;  // newest first
  Integer FCapacity = 1;
};
