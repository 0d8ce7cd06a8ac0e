# The connection settings dialog, the about box and the version information,
# compiled into tavi_gui. VersionResource.cpp carries the ".tavi_version"
# section; GetVerInfoUnit.cpp refers to it, so every program that links the
# reader also carries the information it reads.
set(TAVI_SESSION_DIALOG_SOURCES
  Establish.cpp
  About.cpp
  GetVerInfoUnit.cpp
  VersionResource.cpp
)
