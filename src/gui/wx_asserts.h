// Toolkit assertions go to standard error instead of a modal box.
#ifndef GLIMRA_WX_ASSERTS_H
#define GLIMRA_WX_ASSERTS_H

void installAssertHandler();
// Toolkit assertions printed since the handler was installed.
int toolkitAssertions();

#endif
