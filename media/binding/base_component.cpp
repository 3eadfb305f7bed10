#include "media/binding/base_component.h"

TFFBaseComponent::TFFBaseComponent(TComponent* AOwner) : TComponent(AOwner) {}
