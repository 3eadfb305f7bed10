// Hands the resampling engines to the imaging core, which may not call up into this layer
// directly. The program calls it once before the imaging library starts.
#pragma once

void IERegisterProcessingServices();
