// Hands the resampling engines to the imaging core, which may not call up into this layer
// directly, and gives the library's start-up the processing unit's step. The program calls it
// once before the imaging library starts.
#pragma once

void IERegisterProcessingServices();
