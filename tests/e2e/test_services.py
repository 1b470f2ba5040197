import winetest as w

if __name__ == "__main__":
    w.main()
