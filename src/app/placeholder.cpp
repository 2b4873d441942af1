// Placeholder so the library has a source; removed when the window arrives.
