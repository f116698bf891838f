# Compaction: the writers that build a new file's pages, the table rewrite and
# the verification of the copy against its source. Part of dorvane_jet.
target_sources(dorvane_jet PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/compact_data_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_destination.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_encryption.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_index_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_long_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_page_allocator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_page_sink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_source_hold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_tdef_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_usage_maps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compact_verify.cpp
)
