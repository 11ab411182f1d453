// The Linux backend converts at its edges with the platform's UTF-8 helpers.
#pragma once

#include "platform/utf.h"
