#pragma once

// The money records the link tells its listeners of.
#include "money/money_record.h"
