// The floor for tzctl's start-up: a console program that does nothing, built
// and linked the same way (static, -municode).
int wmain()
{
    return 0;
}
