// The JPEG decoder of the decode thread (its `jpegImg`).
#pragma once
