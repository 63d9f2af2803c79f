// Error records, their text and the ValidationError built from them.
#pragma once

#include "errors/build_record.h"
#include "errors/error_list.h"
#include "errors/error_text.h"
#include "errors/kind_tables.h"
#include "errors/raise.h"
#include "errors/record.h"
