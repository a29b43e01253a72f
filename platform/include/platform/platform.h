#pragma once
#include "platform/comptr.h"
#include "platform/dispatch.h"
#include "platform/errorinfo.h"
#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/loader.h"
#include "platform/unknown.h"
