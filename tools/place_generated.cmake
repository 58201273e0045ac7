# cmake -DSOURCE=generated -DDEST=target -DSTAMP=stamp -P place_generated.cmake
#
# Copies SOURCE to DEST unless DEST holds something other than what this
# build placed there last time (STAMP holds the SHA-256 of those bytes): a
# voice or sound the user has saved over the built one is kept.
file(SHA256 "${SOURCE}" source_hash)

set(place FALSE)
if(NOT EXISTS "${DEST}")
  set(place TRUE)
elseif(IS_DIRECTORY "${DEST}")
  message(WARNING "${DEST} is a folder; the generated file is not placed there")
else()
  file(SHA256 "${DEST}" dest_hash)
  set(placed_hash "")
  if(EXISTS "${STAMP}")
    file(READ "${STAMP}" placed_hash)
    string(STRIP "${placed_hash}" placed_hash)
  endif()
  if(dest_hash STREQUAL source_hash)
    # Already the current bytes; just remember them as ours.
    file(WRITE "${STAMP}" "${source_hash}\n")
  elseif(dest_hash STREQUAL placed_hash)
    set(place TRUE)
  else()
    message(STATUS "Keeping ${DEST}: it was changed after the build wrote it")
  endif()
endif()

if(place)
  get_filename_component(dest_dir "${DEST}" DIRECTORY)
  file(MAKE_DIRECTORY "${dest_dir}")
  file(COPY_FILE "${SOURCE}" "${DEST}")
  file(WRITE "${STAMP}" "${source_hash}\n")
endif()
