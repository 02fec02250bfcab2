// Resource and control ids shared by the resource script and the code.
#pragma once

// The packed string catalogue (RCDATA).
#define IDR_CATALOGUE 200
