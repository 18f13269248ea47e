// What the tests share, one header per subject.
#pragma once

#include "bmp_bytes.h"
#include "card_log.h"
#include "host_threads.h"
#include "module_imports.h"
#include "operator_boxes.h"
#include "pe_builder.h"
#include "process_resources.h"
#include "screen_pixels.h"
#include "test_files.h"
