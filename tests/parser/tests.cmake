# The parser's dump against Python's own ast module over the parser fixtures
# (the whole standard library on request: ast_compare.py --stdlib).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND TARGET quarn-ast-dump)
  add_test(NAME parser.ast_compare
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/parser/ast_compare.py
                   --dumper $<TARGET_FILE:quarn-ast-dump> ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/parser)
endif()
