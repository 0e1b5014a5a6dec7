#pragma once

namespace lingchao {}
