// SPDX-License-Identifier: Apache-2.0
#pragma once
// Kept for the includes that name the old place; the header lives beside the controller now.
#include "window/row_compare.h"
