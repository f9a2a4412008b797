# Pair evaluation of a frame: the fast collision kernel over all pairs of a
# frame, spread over the cores with OpenMP. Included from the run directory's
# CMakeLists.txt.
find_package(OpenMP REQUIRED)
add_library(pair_evaluation STATIC ${CMAKE_CURRENT_LIST_DIR}/pair_evaluation.cpp)
target_include_directories(pair_evaluation PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(pair_evaluation PUBLIC hitrate_kernel PRIVATE OpenMP::OpenMP_CXX)
